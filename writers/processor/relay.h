// The relays choose the writer of the calendar target by its platform code.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
// The entry ID the target returned for the new entry, or empty.
std::string Bplp_WriteRelay(RelayEventRecord& record, int16_t& percent);
void Bplp_DeleteRelay(RelayEventRecord& record, int16_t& percent);
}  // namespace pellary
