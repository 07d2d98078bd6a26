// The Lotus Notes writer and its page.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
void BLot_WriteToLotus(RelayEventRecord& record, int16_t& percent);
void BLot_DeleteFromLotus(RelayEventRecord& record, int16_t& percent);

}  // namespace pellary
