// The Day-Timer Organizer writer and its page.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
int32_t Bdt_WriteToDayTimer(RelayEventRecord& record, int16_t& percent);
void Bdt_RemoveFromDayTimer(RelayEventRecord& record, int16_t& percent);

}  // namespace pellary
