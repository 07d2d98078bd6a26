// The summary page's preview of the run's changes, and the pending-work flags
// it leaves for the writers and the reference generator.
#pragma once

#include <cstdint>

#include "writers/event_record.h"

namespace pellary {
// The central writer's preview pass, then the reference preview, into the
// preview lists.
void Bint_ShowFinalPreview();
// One row of the dates preview: action 1 add, 2 remove, 4 change.
void Bint_WriteToFinalPreview(RelayEventRecord& entry, int16_t& action, int32_t& eventID);
void Bint_SetProcessControl();
}  // namespace pellary
