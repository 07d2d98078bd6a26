// Placeholder bodies until the reference writer is built.
#include "reference/reference_output.h"

namespace pellary {
void Bhtm_StartHTMLReferenceWriter(int16_t) {}
void Bhtm_ShowReferencePreview() {}
void Bhtm_ChangePreviewSelection(const std::string&, bool, const std::string&) {}
void Bhtm_TrackProfileChanges(int16_t, int32_t, bool, const std::string&) {}
}  // namespace pellary
