#include "core/preview_lists.h"

#include <gtest/gtest.h>

namespace pellary {
namespace {

// Rows a preview writes before the summary page exists wait for its list.
TEST(PreviewTargetsTest, HeldRowsMoveIntoTheListInstalledLater) {
  PreviewTargets t;
  t.datesList().addRow(PreviewRow{"P0000001", "Add", {"01/01/2027", "New Year"}, true});
  t.referenceList().addRow(PreviewRow{"R00R001", "Remove", {"Guide"}, true});
  MemoryPreviewList dates, reference, other;
  t.install(&dates, &reference);
  ASSERT_EQ(dates.rowCount(), 1);
  EXPECT_EQ(dates.row(0).subItems[1], "New Year");
  ASSERT_EQ(reference.rowCount(), 1);
  EXPECT_EQ(reference.row(0).text, "Remove");
  EXPECT_EQ(t.heldDates.rowCount(), 0);
  t.datesList().addRow(PreviewRow{"P0000002", "Add", {}, true});
  EXPECT_EQ(dates.rowCount(), 2);
  // Only the installed list's owner takes it out.
  t.uninstall(&other, &other);
  EXPECT_EQ(&t.datesList(), &dates);
  t.uninstall(&dates, &reference);
  EXPECT_EQ(&t.datesList(), &t.heldDates);
  EXPECT_EQ(&t.referenceList(), &t.heldReference);
}

}  // namespace
}  // namespace pellary
