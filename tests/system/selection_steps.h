// Steps on the selection screen that several walks take.
#pragma once

#include <gtest/gtest.h>

#include "shell/frmManagerMain.h"
#include "shell/selection_procedures.h"
#include "shell/small_pages.h"

namespace pellary::testing {

// Brings a product's tab to the front as a click on its tab does.
inline void showTab(frmManagerMain& screen, int tab) {
  if (Bint_CurrentProductTab() == tab) return;
  for (ClickImage* place : screen.findChildren<ClickImage*>("imgTabsBack"))
    if (place->property("product").toInt() == tab) {
      screen.imgTabsBack_Click(place->property("index").toInt());
      break;
    }
  ASSERT_EQ(Bint_CurrentProductTab(), tab);
}

}  // namespace pellary::testing
