// The procedures behind the selection screen: the tab strip's state, and
// moving categories and reference topics into and out of the user's
// selection. They work on the trees of screenLink(), so tests drive them
// with memory trees and no window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hook.h"

namespace pellary {

class TreeView;

// Module state of the selection procedures (the current tab is
// screenLink().currentProductTab).
struct SelectionScreenState {
  int16_t Bint_FirstTab = 0;
  int32_t Bint_SelectedTabPlace = 0;  // 0 to 2
};
// The selection screen's state: the first tab shown and the selected tab's place.
SelectionScreenState& Bint();
void resetSelectionScreenState();

int16_t& Bint_CurrentProductTab();
// Seconds since midnight of the last pointer action (the page engine stamps it too).
int32_t& Bint_ToolTipStamp();

// What the tab strip and the left column show; the window draws it.
struct TabStripLayout {
  int places = 4;             // tab places in use (2, 3 or 4)
  bool scrollButtons = true;  // cmdLeft and cmdRight
  int coverLeft = -1;         // fraCover's left in twips, -1 when hidden
  int productAt[4] = {0, 0, 0, 0};
  int selectedPlace = 0;
  // Per product-table entry: what shows when it is the current tab.
  bool categoryTreeShown(int entry) const;
  bool referenceTreeShown(int entry) const;
  bool otherProductsShown() const;
};
// The layout of the current state.
TabStripLayout tabStripLayout();

int16_t Bint_MMNextTab(int16_t& i);
int16_t Bint_MMPreviousTab(int16_t& i);
// Resets the tab state and asks the window to lay out the strip.
void Bint_ManagerMainInitialize();
// Recomputes the current tab and asks the window to redraw.
void Bint_MMTabUpdate();
// The tab handlers of the screen (places are 0 to 3).
void tabScrollLeft();
void tabScrollRight();
void tabPlaceClicked(int place);

// Adds the category of a node of a category tree.
void Bint_CategorySelector(TreeView& tree, const std::string& nodeKey);
// Removes the chosen categories with these keys of tvSelectedItems.
void Bint_CategoryRemover(const std::vector<std::string>& nodeKeys);
// Adds the reference topic of a node of a reference tree.
void Bint_ReferenceSelector(TreeView& tree, const std::string& nodeKey);
// Removes the chosen topics with these keys of tvReferenceSelected.
void Bint_ReferenceRemover(const std::vector<std::string>& nodeKeys);

// True when a tooltip is due on this tick.
bool toolTipDue(double secondsNow, int32_t stamp, bool tipsOn, int32_t topic);
// Seconds since midnight, rounded to a whole number.
int32_t toolTipStampNow();

// Continue: the reference settings from the tick boxes, the final
// selection, the summary, the pending flags, then the next page.
void selectionContinue(bool ref1, bool ref2);

// What the selection screen's window does when the procedures ask.
struct SelectionScreenHooks {
  Hook<void()> layoutStrip;  // after Bint_ManagerMainInitialize
  Hook<void()> redraw;       // after Bint_MMTabUpdate
};
SelectionScreenHooks& selectionScreenHooks();

}  // namespace pellary
