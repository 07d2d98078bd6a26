// The reference generator's entries used by the summary page, the selection
// screen and the update run.
#pragma once

#include <cstdint>
#include <string>

namespace pellary {
// Writes the reference section for a platform (1 PC, 4 handheld PC, 8 palm-sized PC).
void Bhtm_StartHTMLReferenceWriter(int16_t platform);
// Lists the run's reference changes in the reference preview list.
void Bhtm_ShowReferencePreview();
// A row of the summary page's reference list was ticked or unticked.
void Bhtm_ChangePreviewSelection(const std::string& rowKey, bool ticked, const std::string& rowText);
// Records one change of the reference selection in the run's journal.
void Bhtm_TrackProfileChanges(int16_t productID, int32_t refID, bool added, const std::string& treeKey);
}  // namespace pellary
