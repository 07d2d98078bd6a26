// The Lotus Notes writer and its page: entries go into the calendar of a
// Notes mail database through the Notes control; they carry no ID, and a
// delete finds its entry by title and start date.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"
#include "platform/hook.h"
#include "writers/event_record.h"

namespace pellary {

struct NotesState {
  std::shared_ptr<platform::Dispatch> control;  // LotusControl
  Hook<void(int16_t)> progress;                 // pbRecords
  Hook<void()> doEvents;                        // one turn of the message loop
  Hook<void()> writePass;
  Hook<void()> commit;
  Hook<void()> nextPage;
};

// The Lotus Notes writer's state: the Notes control and the page's progress and next-step hooks.
NotesState& BLot();
void resetBLot();
platform::Dispatch& BLot_Control();

void BLot_WriteToLotus(RelayEventRecord& record, int16_t& percent);
void BLot_DeleteFromLotus(RelayEventRecord& record, int16_t& percent);
// The note text handed to the control (the title goes apart).
std::string BLot_NoteText(const RelayEventRecord& record);

}  // namespace pellary
