// The in-memory reference tree per installed product: topics (RETemplate),
// their parent and child links (REStructure) and which topics the profiles
// hold (ProfileRefList). Arrays are indexed by template number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hook.h"

namespace pellary {

struct RefParentNode {
  bool HasChildren = false;
  // Slots 1 to n hold the children in ascending order; slot n + 1 is a spare 0.
  // Empty (not allocated) for a template without children.
  std::vector<int32_t> ChildIDs;
  int32_t childCount() const { return ChildIDs.empty() ? 0 : static_cast<int32_t>(ChildIDs.size()) - 2; }
};

// Arrays with lower bound 1 keep an unused element 0.
struct RefProductRecord {
  int16_t ProductID = 0;
  std::vector<RefParentNode> ParentNodes;  // 1 .. highest parent
  std::vector<int32_t> ParentOf;           // 1 .. highest child
  std::vector<bool> Selected;              // 1 .. highest template
  std::vector<std::string> TopicNames;     // 1 .. highest template

  int32_t parentUpperBound() const { return static_cast<int32_t>(ParentNodes.size()) - 1; }
  int32_t childUpperBound() const { return static_cast<int32_t>(ParentOf.size()) - 1; }
  int32_t templateUpperBound() const { return static_cast<int32_t>(Selected.size()) - 1; }
  bool selected(int32_t templateID) const;
  // A topic's name; a number outside the product's templates raises 9.
  const std::string& topicName(int32_t templateID) const;
};

struct ReferenceTreeState {
  // Always ends with a spare empty record after a load.
  std::vector<RefProductRecord> Bhtm_RefProducts = std::vector<RefProductRecord>(1);
  bool Bhtm_TreeLoaded = false;
  // Whether PC reference pages or a device reference are still due (the page
  // engine's pending flags); unset means none.
  Hook<bool()> referenceOutputPending;
};

// The reference trees' state: each product's chosen topics and whether the trees are loaded.
ReferenceTreeState& Bhtm();
void resetReferenceTree();
// The product record at a position of Bhtm_RefProducts; outside raises 9.
RefProductRecord& refProductAt(int16_t position);

void Bhtm_LoadReferenceStructure();
// -2 before any load; else the position of the last record with that
// ProductID (the spare one included), -1 when none.
int16_t Bhtm_LookupProductPosition(int16_t product);
void Bhtm_AddNode(int16_t product, int32_t templateID);
void Bhtm_DeleteNode(int16_t product, int32_t templateID);
void Bhtm_RecursiveAddDeleteNode(int16_t position, int32_t templateID, bool add);
// Empties the tree unless reference output is still pending.
void Bhtm_UnloadProfile();

// Lets the category and reference tree setup of core load this tree.
void Bhtm_ConnectToScreenLink();

}  // namespace pellary
