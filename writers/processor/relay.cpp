#include "writers/processor/relay.h"

#include "core/products.h"
#include "platform/errors.h"
#include "writers/daytimer/daytimer_writer.h"
#include "writers/notes/notes_writer.h"
#include "writers/organizer/organizer_writer.h"
#include "writers/outlook/outlook_writer.h"
#include "writers/palm/palm_writer.h"
#include "writers/processor/central_writer.h"
#include "writers/series3/series3_writer.h"
#include "writers/series5/series5_writer.h"

namespace pellary {

namespace {

// The writers that return no entry ID (or one the caller does not keep).
template <void (*F)(RelayEventRecord&, int16_t&)>
std::string noID(RelayEventRecord& r, int16_t& p) {
  F(r, p);
  return {};
}
template <int32_t (*F)(RelayEventRecord&, int16_t&)>
std::string discarded(RelayEventRecord& r, int16_t& p) {
  F(r, p);
  return {};
}
void series3Delete(RelayEventRecord& r, int16_t& p) { Bps3_DelEvent(r, p); }

const RelayTarget kSeries3{"Bps3_AddEvent", &discarded<&Bps3_AddEvent>, &series3Delete, true};
const RelayTarget kOutlook{"Bout_WriteToOutlook", &noID<&Bout_WriteToOutlook>, &Bout_OutlookDeleter};
const RelayTarget kDayTimer{"Bdt_WriteToDayTimer", &discarded<&Bdt_WriteToDayTimer>, &Bdt_RemoveFromDayTimer};
const RelayTarget kOrganizer{"Borg_WriteToOrg", &noID<&Borg_WriteToOrg>, &Borg_DeleteFromOrg, true};
const RelayTarget kNotes{"BLot_WriteToLotus", &noID<&BLot_WriteToLotus>, &BLot_DeleteFromLotus};
const RelayTarget kPalm{"Bpm_WritePalmRecord", &noID<&Bpm_WritePalmRecord>, &Bpm_DeletePalmRecord, true};
const RelayTarget kSeries5{"Bpsi_AddEvent", &Bpsi_AddEvent, &Bpsi_DelEvent, true};

}  // namespace

const RelayTarget* relayTargetOf(int16_t code) {
  switch (code) {
    case 1: return &kSeries3;
    case 3: return &kOutlook;
    case 4: return &kDayTimer;
    case 6: return &kOrganizer;
    case 9: return &kNotes;
    case 12: return &kPalm;
    case 15:
    case 16: return &kSeries5;
    default: return nullptr;
  }
}

std::string Bplp_WriteRelay(RelayEventRecord& record, int16_t& percent) {
  return trapped("Bplp_WriteRelay", [&]() -> std::string {
    if (Bplp().writeOverride) return Bplp().writeOverride(record, percent);
    const RelayTarget* t = relayTargetOf(Bset().Bset_DatesPlat);
    return t ? t->add(record, percent) : std::string();
  });
}

void Bplp_DeleteRelay(RelayEventRecord& record, int16_t& percent) {
  trapped("Bplp_DeleteRelay", [&] {
    if (Bplp().deleteOverride) return Bplp().deleteOverride(record, percent);
    if (const RelayTarget* t = relayTargetOf(Bset().Bset_DatesPlat)) t->remove(record, percent);
  });
}

}  // namespace pellary
