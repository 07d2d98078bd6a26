// The event processor: from the final selection and the profile lists, the
// entries to add, change and delete; listed (preview) or written (write pass).
#pragma once

#include <cstdint>
#include <functional>

#include "writers/event_record.h"

namespace pellary {
void Bplp_CentralWriter(bool preview);

// What the update pass does with an event of a changed category; the values
// are the preview's action codes.
enum class UpdateAction : int16_t {
  Keep = 0,     // as it stands
  Add = 1,      // written for the first time
  Remove = 2,   // taken off the target
  Rewrite = 4,  // taken off and written again as the row reads now
};
struct UpdateDecision {
  UpdateAction action = UpdateAction::Keep;
  bool leftOut = false;  // a removal leaves the event unticked (Status 1), not unchosen (0)
};
// What the decision needs of the event's row and its profile records.
struct UpdateFacts {
  int16_t status = 0;          // the event's profile Status
  int16_t writtenVersion = 0;  // the version the target holds, 0 for none
  int16_t rowVersion = 0;      // the version of the row
  bool aboveLevel = false;     // the row's priority is above what its category takes
  bool categoryStars = false;  // the category marks longer events with "*"
};
// outsideWindow tells whether the row's dates fall outside the category's
// window; it is asked only when the answer decides (it reads the profile and
// may report an error).
UpdateDecision decideUpdate(const UpdateFacts& facts, const std::function<bool()>& outsideWindow);
// The summary page's preview: the central writer's preview pass, then the
// reference preview, into the preview lists.
void Bint_ShowFinalPreview();
// One row of the dates preview: action 1 add, 2 remove, 4 change.
void Bint_WriteToFinalPreview(RelayEventRecord& entry, int16_t& action, int32_t& eventID);
}  // namespace pellary
