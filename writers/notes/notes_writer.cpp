#include "writers/notes/notes_writer.h"

#include "core/profile_commit.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "standins/notes/notes_control.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

using platform::ByRef;
using platform::DispatchArgs;

namespace {

NotesState freshState() {
  NotesState s;
  s.writePass = [] { Bplp_CentralWriter(false); };
  s.commit = Bsda_CommittChanges;
  s.nextPage = [] { Bmm_GetNextForm(); };
  return s;
}

void progressAndYield(int16_t percent) {
  auto& s = BLot();
  if (Bupd_UpdateRun())
    portalProgress(percent);
  else
    s.progress(percent);
  s.doEvents();
}

}  // namespace

NotesState& BLot() {
  static NotesState state = freshState();
  return state;
}

void resetBLot() { BLot() = freshState(); }

platform::Dispatch& BLot_Control() {
  if (!BLot().control) BLot().control = platform::automation::createObject(standins::notes::kControlClass);
  return *BLot().control;
}

std::string BLot_NoteText(const RelayEventRecord& r) { return desktopNoteText(r); }

void BLot_WriteToLotus(RelayEventRecord& record, int16_t& percent) {
  trapped("BLot_WriteToLotus", [&] {
    const auto s = platform::civilFromOle(record.StartDate);
    const auto e = platform::civilFromOle(record.EndDate);
    Variant title = record.Title, note = BLot_NoteText(record);
    Variant sy = int32_t(s.year), sm = int32_t(s.month), sd = int32_t(s.day);
    Variant ey = int32_t(e.year), em = int32_t(e.month), ed = int32_t(e.day);
    DispatchArgs args{ByRef(title), ByRef(note), ByRef(sy), ByRef(sm), ByRef(sd), ByRef(ey), ByRef(em), ByRef(ed)};
    BLot_Control().callRef(0x60020006, args);
    progressAndYield(percent);
  });
}

void BLot_DeleteFromLotus(RelayEventRecord& record, int16_t& percent) {
  trapped("BLot_DeleteFromLotus", [&] {
    const auto s = platform::civilFromOle(record.StartDate);
    Variant title = record.Title;
    Variant y = int32_t(s.year), m = int32_t(s.month), d = int32_t(s.day);
    DispatchArgs args{ByRef(title), ByRef(y), ByRef(m), ByRef(d)};
    BLot_Control().callRef(6, args);
    progressAndYield(percent);
  });
}

}  // namespace pellary
