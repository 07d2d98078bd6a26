// The Series 3 Agenda writer and its page.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
int32_t Bps3_AddEvent(RelayEventRecord& record, int16_t& percent);
void Bps3_DelEvent(RelayEventRecord& record, int16_t& percent);

}  // namespace pellary
