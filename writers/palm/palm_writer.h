// The Palm Date Book writer, the Palm reference tables and the Palm page.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
void Bpm_WritePalmRecord(RelayEventRecord& record, int16_t& percent);
void Bpm_DeletePalmRecord(RelayEventRecord& record, int16_t& percent);
// Puts the HotSync folder on the process's search path.
void Bpm_SetPilotPath();
// The update run's entries for the Palm targets.
bool Bpm_SilentDates();
bool Bpm_SilentReference();
}  // namespace pellary
