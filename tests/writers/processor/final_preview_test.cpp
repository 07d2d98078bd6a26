#include <gtest/gtest.h>

#include "core/registry.h"
#include "processor_fixture.h"

namespace pellary {
namespace {

using Strings = std::vector<std::string>;

class FinalPreview : public testing::ProcessorTest {
 protected:
  void row(int16_t action, int32_t eventID, const std::string& title, double start) {
    RelayEventRecord r;
    r.Title = title;
    r.StartDate = start;
    Bint_WriteToFinalPreview(r, action, eventID);
  }
};

TEST_F(FinalPreview, RowsAreKeyedByTheSevenDigitEventIDAndTheFirstWins) {
  row(1, 42, "First", day(2027, 3, 4));
  row(2, 42, "Second", day(2027, 3, 5));
  row(2, 7, "Removed", day(2027, 3, 6));
  row(4, 1234567, "Changed", day(2027, 3, 7));
  row(3, 8, "Other", day(2027, 3, 8));
  ASSERT_EQ(preview.rows.size(), 4u);
  EXPECT_EQ(previewTexts(),
            (Strings{"P0000042 Add First", "P0000007 Remove Removed", "P1234567 Change Changed", "P0000008   Other"}));
  EXPECT_EQ(preview.rows[0].subItems[0], "04/03/2027");
  for (const PreviewRow& r : preview.rows) EXPECT_TRUE(r.checked);

  // After the list was emptied elsewhere the key is free again.
  preview.clear();
  row(2, 42, "Again", day(2027, 3, 4));
  EXPECT_EQ(previewTexts(), (Strings{"P0000042 Remove Again"}));
}

TEST_F(FinalPreview, ShowFinalPreviewRefillsTheSummaryButNotTheUpdateList) {
  cat(10, 2);
  event(1, "New", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  Bsql_SetFinalRecordSelection();
  preview.addRow({"P0000099", "Add", {"01/01/2027", "Stale"}, true});
  std::vector<bool> pointer;
  screenLink().hourglass = [&](bool on) { pointer.push_back(on); };
  Bint_ShowFinalPreview();
  EXPECT_EQ(previewTexts(), (Strings{"P0000001 Add New"}));
  EXPECT_EQ(pointer, (std::vector<bool>{true, false}));

  Bupd_UpdateRun() = true;
  preview.clear();
  preview.addRow({"P0000099", "Add", {"01/01/2027", "Kept"}, true});
  Bsql_SetFinalRecordSelection();
  Bint_ShowFinalPreview();
  Bupd_UpdateRun() = false;
  EXPECT_EQ(previewTexts(), (Strings{"P0000099 Add Kept", "P0000001 Add New"}));
}

TEST_F(FinalPreview, ProcessControlSetsTheThreeFlags) {
  addProduct(3, 30, 1, 0, 0);
  struct Case {
    const char* ref1;
    const char* ref2;
    int16_t plat1, plat2;
    bool journal;
    bool pending1, pending2;
  } cases[] = {
      {"ON", "on", 1, 2, true, true, true},
      {"On", "off", 0, 2, true, false, false},  // a PC reference code of 0
      {"on", "On", 1, 8, false, false, false},  // no journal rows
      {"", "on", 1, 2, true, false, true},
  };
  for (const Case& c : cases) {
    Breg_WriteRegSettings("Settings", "Ref1", c.ref1);
    Breg_WriteRegSettings("Settings", "Ref2", c.ref2);
    Bset().Bset_RefPlat1 = c.plat1;
    Bset().Bset_RefPlat2 = c.plat2;
    Bset().Bset_rsReferenceChanges =
        db().openRecordset(c.journal ? "SELECT * FROM Products" : "SELECT * FROM Products WHERE ProductID = -1");
    Bint_SetProcessControl();
    EXPECT_EQ(Bint_Ref1Pending(), c.pending1) << c.ref1;
    EXPECT_EQ(Bint_Ref2Pending(), c.pending2) << c.ref2;
  }
  Bset().Bset_rsReferenceChanges = dao::Recordset();
  preview.clear();
  Bint_SetProcessControl();
  EXPECT_FALSE(Bint_Ref1Pending() || Bint_Ref2Pending() || Bint_DatesPending());
  row(1, 1, "Due", day(2027, 2, 1));
  Bint_SetProcessControl();
  EXPECT_TRUE(Bint_DatesPending());
}

}  // namespace
}  // namespace pellary
