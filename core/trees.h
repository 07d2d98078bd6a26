// The category and reference trees of the selection screen, filled from the
// databank with the profile's earlier choices shown in the chosen-items trees.
// The trees come from screenLink(); a tab without a tree is passed over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace pellary {

inline constexpr const char* kFileIconImage = "imgFileIcon";
// Image list entry of chosen categories and topics.
inline constexpr const char* kChosenImage = "1";

// The name of each live template of one product, by template number.
using TemplateNames = std::unordered_map<int32_t, std::string>;

// Module state of the tree setup: the names of the product's templates while
// a tab's reference tree fills (empty otherwise; the recursion reads them),
// and the profile categories that some tree shows.
struct TreeSetupState {
  std::optional<TemplateNames> templates;
  std::unordered_set<int32_t> shownCategories;
};
// The tree filling's state: the template names of the tab being filled, the categories some tree shows.
TreeSetupState& treeSetup();
void resetTreeSetup();

// Fills every product tab's category selector and the chosen categories.
void Bset_CategoryLists();
// Fills the reference selector of one tab with the topics of that tab's product, and the chosen topics.
void Bset_SetupReferenceTree(int16_t tab, int32_t rootTemplate, int16_t level);
// Fills the reference selector of every installed product's tab that shows
// topics (template 1, level 2), each with its own product's topics only.
void Bset_SetupReferenceTrees();
// Adds the children of parentTemplate under the node parentKey, and their descendants.
void Bset_RefTreeRecursive(int16_t tab, const std::string& parentKey, int16_t level, int32_t parentTemplate);

}  // namespace pellary
