// The Outlook writer and its pages.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
void Bout_WriteToOutlook(RelayEventRecord& record, int16_t& percent);
void Bout_OutlookDeleter(RelayEventRecord& record, int16_t& percent);
// Opens Outlook and the target folder, then writes (or asks for the folder).
void Bout_InitialiseOutlook();
}  // namespace pellary
