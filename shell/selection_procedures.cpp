#include "shell/selection_procedures.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "core/final_selection.h"
#include "core/previews.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/selection.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/trees.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "reference/reference_journal.h"
#include "reference/reference_tree.h"
#include "writers/processor/final_preview.h"

namespace pellary {

namespace {

int16_t productCount() { return Bset().Bset_ProductCount; }
bool validEntry(int entry) { return entry >= 0 && entry < productCount() && entry < kMaxProducts; }

int16_t advanced(int16_t from, int times) {
  int16_t i = from;
  for (int k = 0; k < times; ++k) i = Bint_MMNextTab(i);
  return i;
}

bool addable(const TreeView& tree, const std::string& key) {
  return tree.exists(key) && tree.childCount(key) == 0 && tree.foreColor(key) != kColorGrayText;
}

int32_t lastThreeDigits(const std::string& key) {
  return key.size() >= 3 ? valOf(std::string_view(key).substr(key.size() - 3)) : valOf(key);
}

}  // namespace

SelectionScreenState& Bint() {
  static SelectionScreenState state;
  return state;
}
void resetSelectionScreenState() { Bint() = SelectionScreenState{}; }

int16_t& Bint_CurrentProductTab() { return screenLink().currentProductTab; }
int32_t& Bint_ToolTipStamp() { return Wizard().toolTipStamp; }

SelectionScreenHooks& selectionScreenHooks() {
  static SelectionScreenHooks hooks;
  return hooks;
}

bool TabStripLayout::categoryTreeShown(int entry) const {
  if (entry != Bint_CurrentProductTab() || !validEntry(entry) || otherProductsShown()) return false;
  int32_t v = Bset().Bset_Viewers[size_t(entry)];
  return v == 1 || v == 3;
}
bool TabStripLayout::referenceTreeShown(int entry) const {
  if (entry != Bint_CurrentProductTab() || !validEntry(entry) || otherProductsShown()) return false;
  int32_t v = Bset().Bset_Viewers[size_t(entry)];
  return v == 2 || v == 3;
}
bool TabStripLayout::otherProductsShown() const {
  int entry = Bint_CurrentProductTab();
  return validEntry(entry) && Bset().Bset_ProgProductID[size_t(entry)] == 1;
}

TabStripLayout tabStripLayout() {
  TabStripLayout l;
  switch (productCount()) {
    case 2:
      l.places = 2;
      l.scrollButtons = false;
      l.coverLeft = 2400;
      break;
    case 3:
      l.places = 3;
      l.scrollButtons = false;
      l.coverLeft = 3600;
      break;
    default: break;
  }
  for (int k = 0; k < 4; ++k) l.productAt[k] = advanced(Bint().Bint_FirstTab, k);
  l.selectedPlace = Bint().Bint_SelectedTabPlace;
  return l;
}

int16_t Bint_MMNextTab(int16_t& i) { return i >= productCount() - 1 ? int16_t(0) : int16_t(i + 1); }
int16_t Bint_MMPreviousTab(int16_t& i) { return i < 1 ? int16_t(productCount() - 1) : int16_t(i - 1); }

void Bint_ManagerMainInitialize() {
  trapped("Bint_ManagerMainInitialize", [&] {
    Bint().Bint_FirstTab = 0;
    Bint().Bint_SelectedTabPlace = 0;
    Bint_CurrentProductTab() = 0;
    selectionScreenHooks().layoutStrip();
    Bint_MMTabUpdate();
  });
}

void Bint_MMTabUpdate() {
  trapped("Bint_MMTabUpdate", [&] {
    int place = Bint().Bint_SelectedTabPlace;
    if (place < 0 || place > 2) place = 0;
    Bint_CurrentProductTab() = advanced(Bint().Bint_FirstTab, place);
    selectionScreenHooks().redraw();
  });
}

void tabScrollLeft() {
  Bint().Bint_FirstTab = Bint_MMNextTab(Bint().Bint_FirstTab);
  int32_t& place = Bint().Bint_SelectedTabPlace;
  if (place == 1)
    place = 0;
  else if (place == 2)
    place = 1;
  Bint_MMTabUpdate();
}

void tabScrollRight() {
  Bint().Bint_FirstTab = Bint_MMPreviousTab(Bint().Bint_FirstTab);
  int32_t& place = Bint().Bint_SelectedTabPlace;
  if (place == 0)
    place = 1;
  else if (place == 1 && productCount() > 2)
    place = 2;
  Bint_MMTabUpdate();
}

void tabPlaceClicked(int place) {
  if (place >= 0 && place <= 2) {
    Bint().Bint_SelectedTabPlace = place;
  } else if (place == 3) {
    Bint().Bint_FirstTab = Bint_MMNextTab(Bint().Bint_FirstTab);
    Bint().Bint_SelectedTabPlace = 2;
  } else {
    return;
  }
  Bint_MMTabUpdate();
}

void Bint_CategorySelector(TreeView& tree, const std::string& nodeKey) {
  trapped("Bint_CategorySelector", [&] {
    if (!addable(tree, nodeKey)) return;
    Bsql_SetSingleNodePreview(nodeKey);
    Bsql().Bsql_CurrentCatID = catIDOfCategoryKey(nodeKey);
    Bsql_AddToProfileCatList(settingOfCategoryKey(nodeKey));
    int16_t status = 0;
    if (int32_t pos = catPosition(Bsql().Bsql_CurrentCatID)) status = Bsda().Bsda_ProfileCatList[size_t(pos)].Status;
    std::string text = textWithAncestors(tree, nodeKey);
    const int tab = Bint_CurrentProductTab();
    TreeView* chosen = screenLink().tvSelectedItems;
    if (chosen) {
      std::string key = chosenCategoryKey(tab, nodeKey);
      if (status & (catstate::InProfile | catstate::Removed)) {
        chosen->add(headingKey(Bset().Bset_ProgProductID.at(size_t(tab))), TreeRelation::Next, key, text, kChosenImage);
      } else {
        int32_t count = Bsql_CountActiveRecords();
        chosen->add(kNewItemsKey, TreeRelation::Next, key, countPrefix(count, Bsql().Bsql_EventCount) + text,
                    kChosenImage);
      }
    }
    tree.setForeColor(nodeKey, kColorGrayText);
    Bsql_AddToCategorySelection(nodeKey);
  });
}

void Bint_CategoryRemover(const std::vector<std::string>& nodeKeys) {
  trapped("Bint_CategoryRemover", [&] {
    TreeView* chosen = screenLink().tvSelectedItems;
    if (!chosen) return;
    std::vector<std::string> flagged;
    for (const std::string& key : nodeKeys) {
      if (!chosen->exists(key) || chosen->bold(key) || isHeadingKey(key)) continue;
      Bsql_RemoveFromCategorySelection(key);
      flagged.push_back(key);
      // The category's own node in its tab's tree is choosable again.
      if (TreeView* tree = screenLink().categorySelector(tabOfChosenKey(key))) {
        std::string own = ownKeyOfChosen(key);
        if (tree->exists(own)) tree->setForeColor(own, 0);
      }
    }
    for (const std::string& key : flagged)
      if (chosen->exists(key)) chosen->remove(key);
  });
}

void Bint_ReferenceSelector(TreeView& tree, const std::string& nodeKey) {
  trapped("Bint_ReferenceSelector", [&] {
    if (!addable(tree, nodeKey)) return;
    int32_t templateID = lastThreeDigits(nodeKey);
    tree.setForeColor(nodeKey, kColorGrayText);
    std::string text = tree.text(nodeKey);
    for (std::string k = nodeKey; k.size() >= 5;) {
      k = tree.parentKey(k);
      if (k.empty()) break;
      text += ", " + tree.text(k);
    }
    const int tab = Bint_CurrentProductTab();
    const int16_t productID = Bset().Bset_ProductID.at(size_t(tab));
    int16_t pos = Bhtm_LookupProductPosition(productID);
    bool inStoredProfile = false;
    if (pos >= 0 && size_t(pos) < Bhtm().Bhtm_RefProducts.size())
      inStoredProfile = Bhtm().Bhtm_RefProducts[size_t(pos)].selected(templateID);
    std::string key = chosenTopicKey(tab, nodeKey);
    if (TreeView* chosen = screenLink().tvReferenceSelected) {
      std::string after = inStoredProfile ? headingKey(Bset().Bset_ProgProductID.at(size_t(tab))) : kNewItemsKey;
      chosen->add(after, TreeRelation::Next, key, text, kChosenImage);
    }
    Bhtm_TrackProfileChanges(productID, templateID, true, key);
  });
}

void Bint_ReferenceRemover(const std::vector<std::string>& nodeKeys) {
  trapped("Bint_ReferenceRemover", [&] {
    TreeView* chosen = screenLink().tvReferenceSelected;
    if (!chosen) return;
    std::vector<std::string> flagged;
    for (const std::string& key : nodeKeys) {
      if (!chosen->exists(key) || chosen->bold(key) || isHeadingKey(key)) continue;
      int32_t templateID = lastThreeDigits(key);
      int tab = tabOfChosenKey(key);
      if (validEntry(tab)) Bhtm_TrackProfileChanges(Bset().Bset_ProductID[size_t(tab)], templateID, false, key);
      flagged.push_back(key);
      if (TreeView* tree = screenLink().referenceSelector(tab)) {
        std::string own = ownKeyOfChosen(key);
        if (tree->exists(own)) tree->setForeColor(own, 0);
      }
    }
    for (const std::string& key : flagged)
      if (chosen->exists(key)) chosen->remove(key);
  });
}

bool toolTipDue(double secondsNow, int32_t stamp, bool tipsOn, int32_t topic) {
  return secondsNow > stamp + 2 && secondsNow < stamp + 3 && tipsOn && topic > 0;
}

int32_t toolTipStampNow() { return static_cast<int32_t>(std::lround(platform::secondsSinceMidnight())); }

void selectionContinue(bool ref1, bool ref2) {
  Breg_WriteRegSettings("Settings", "Ref1", ref1 ? "on" : "off");
  Breg_WriteRegSettings("Settings", "Ref2", ref2 ? "on" : "off");
  Bsql_SetFinalRecordSelection();
  Bint_ShowFinalPreview();
  Bint_SetProcessControl();
  Bmm_FormAdvance();
}

}  // namespace pellary
