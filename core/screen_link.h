// What core needs of the windows above it: the selection screen's trees and
// current tab, and the few calls core makes upwards. The shell fills this in
// when its windows exist; tests fill it with fakes. Everything is optional: an
// empty hook does nothing, a missing tree is passed over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hook.h"

namespace pellary {

class TreeView;

struct ScreenLink {
  // frmManagerMain's trees: one category and one reference selector per
  // product tab (index = product-table index), one tree of each kind of chosen item.
  std::vector<TreeView*> tvCategorySelector;
  std::vector<TreeView*> tvReferenceSelector;
  TreeView* tvSelectedItems = nullptr;
  TreeView* tvReferenceSelected = nullptr;

  // Bint_CurrentProductTab: the product tab in front.
  int16_t currentProductTab = 0;

  // Bint_ManagerMainInitialize: lays out the product tabs (called by Bset_SetProducts).
  Hook<void()> managerMainInitialize;
  // Bmm_FirstRun: the first run of the program.
  Hook<bool()> firstRun;
  // Bhtm_LoadReferenceStructure of the reference generator.
  Hook<void()> loadReferenceStructure;
  // Caption of the event options dialog's current-category label.
  Hook<std::string()> currentCategoryCaption;
  // Hourglass (true) or default (false) pointer on the main window.
  Hook<void(bool)> hourglass;

  TreeView* categorySelector(int tab) const;
  TreeView* referenceSelector(int tab) const;
};

ScreenLink& screenLink();
void resetScreenLink();

}  // namespace pellary
