// The event processor: from the final selection and the profile lists, the
// entries to add, change and delete; listed (preview) or written (write pass).
#pragma once

#include <cstdint>

#include "writers/event_record.h"

namespace pellary {
void Bplp_CentralWriter(bool preview);
// The summary page's preview: the central writer's preview pass, then the
// reference preview, into the preview lists.
void Bint_ShowFinalPreview();
// One row of the dates preview: action 1 add, 2 remove, 4 change.
void Bint_WriteToFinalPreview(RelayEventRecord& entry, int16_t& action, int32_t& eventID);
}  // namespace pellary
