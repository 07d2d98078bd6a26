// The run's reference journal: the changes of the reference selection, their
// preview, and applying them to the tree and the profile.
#pragma once

#include <cstdint>
#include <string>

namespace pellary {
// Lists the run's reference changes in the reference preview list.
void Bhtm_ShowReferencePreview();
// A row of the summary page's reference list was ticked or unticked.
void Bhtm_ChangePreviewSelection(const std::string& rowKey, bool ticked, const std::string& rowText);
// Records one change of the reference selection in the run's journal.
void Bhtm_TrackProfileChanges(int16_t productID, int32_t refID, bool added, const std::string& treeKey);
// Applies the journal to the tree and the profile, once per run.
void Bhtm_ProcessProfileChanges();
void Bhtm_InitialiseHandler();
}  // namespace pellary
