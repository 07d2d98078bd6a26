// The Series 5 Agenda writer and its page.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
std::string Bpsi_AddEvent(RelayEventRecord& record, int16_t& percent);
void Bpsi_DelEvent(RelayEventRecord& record, int16_t& percent);

}  // namespace pellary
