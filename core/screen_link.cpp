#include "core/screen_link.h"

namespace pellary {

ScreenLink& screenLink() {
  static ScreenLink link;
  return link;
}

void resetScreenLink() { screenLink() = ScreenLink{}; }

TreeView* ScreenLink::categorySelector(int tab) const {
  return tab >= 0 && tab < static_cast<int>(tvCategorySelector.size()) ? tvCategorySelector[tab] : nullptr;
}
TreeView* ScreenLink::referenceSelector(int tab) const {
  return tab >= 0 && tab < static_cast<int>(tvReferenceSelector.size()) ? tvReferenceSelector[tab] : nullptr;
}

}  // namespace pellary
