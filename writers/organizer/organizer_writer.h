// The Lotus Organizer writer and its page.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
void Borg_WriteToOrg(RelayEventRecord& record, int16_t& percent);
void Borg_DeleteFromOrg(RelayEventRecord& record, int16_t& percent);

}  // namespace pellary
