#include <gtest/gtest.h>

#include "core/registry.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "reference/reference_journal.h"
#include "reference_fixture.h"

namespace pellary::testing {
namespace {

using Journal = ReferenceTest;

TEST_F(Journal, ASecondChangeOfATopicCancelsTheFirst) {
  Bhtm_TrackProfileChanges(101, 4, true, "R00R001002004");
  EXPECT_EQ(journalRows(), 1);
  // Whatever the direction, the second change deletes the row.
  Bhtm_TrackProfileChanges(101, 4, false, "R00R001002004");
  EXPECT_EQ(journalRows(), 0);
  Bhtm_TrackProfileChanges(101, 4, false, "R00R001002004");
  Bhtm_TrackProfileChanges(7, 4, true, "");  // other product: its own row
  EXPECT_EQ(journalRows(), 2);
  dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ReferenceChanges WHERE ProductID = 7");
  EXPECT_EQ(rs["TreeKey"].value().toString(), "Null");
  EXPECT_TRUE(rs["Add"].value().toBool());
  EXPECT_EQ(rs["ProfileID"].value().toLong(), 1);
}

TEST_F(Journal, PreviewListsTheJournalWithTopicNamesTicked) {
  preview.addRow({"old", "stale", {}, true});
  Bhtm_TrackProfileChanges(101, 4, true, "R00R001002004");
  Bhtm_TrackProfileChanges(101, 3, false, "R00R001003");
  Bhtm_TrackProfileChanges(101, 5, true, "R00R001002005");
  Bhtm_TrackProfileChanges(101, 5, true, "R00R001002005");  // added and dropped again: not listed
  Bhtm_ShowReferencePreview();
  ASSERT_EQ(preview.rowCount(), 2);
  std::map<std::string, PreviewRow> rows;
  for (const PreviewRow& r : preview.rows) rows[r.key] = r;
  EXPECT_EQ(rows["R00R001002004"].text, "Add");
  EXPECT_EQ(rows["R00R001002004"].subItems, std::vector<std::string>{"London"});
  EXPECT_TRUE(rows["R00R001002004"].checked);
  EXPECT_EQ(rows["R00R001003"].text, "Remove");
  EXPECT_EQ(rows["R00R001003"].subItems, std::vector<std::string>{"Phrases"});
}

TEST_F(Journal, EmptyJournalGivesAnEmptyList) {
  preview.addRow({"old", "stale", {}, true});
  Bhtm_ShowReferencePreview();
  EXPECT_EQ(preview.rowCount(), 0);
}

TEST_F(Journal, UpdateRunListsThePageListUntickedAndKeepsTheFile) {
  Bupd_UpdateRun() = true;
  preview.addRow({"P0000001", "Add", {}, true});
  fs::create_directories(home() / "CUE");
  writeFile(home() / "CUE" / "REPAGES.cue", "London guide,101_4,x\r\nNo comma\r\nParis,101_5\r\n");
  Bhtm_ShowReferencePreview();
  ASSERT_EQ(preview.rowCount(), 4);  // not cleared first
  const std::pair<const char*, const char*> want[] = {{"p1", "London guide"}, {"p2", "No comma"}, {"p3", "Paris"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(preview.rows[size_t(i) + 1].key, want[i].first);
    EXPECT_EQ(preview.rows[size_t(i) + 1].text, want[i].second);
    EXPECT_FALSE(preview.rows[size_t(i) + 1].checked);
    EXPECT_TRUE(preview.rows[size_t(i) + 1].subItems.empty());
  }
  EXPECT_TRUE(fs::exists(home() / "CUE" / "REPAGES.cue"));
}

TEST_F(Journal, UpdateRunWithoutPageListAddsNothing) {
  Bupd_UpdateRun() = true;
  Bhtm_ShowReferencePreview();
  EXPECT_EQ(preview.rowCount(), 0);
}

// The summary's tick handler against the selection screen's two trees.
class PreviewTicks : public Journal {
 protected:
  void SetUp() override {
    Journal::SetUp();
    selector.add({}, TreeRelation::Last, "R001", "Guide");
    selector.add("R001", TreeRelation::Child, "R001002", "Cities");
    selector.add("R001002", TreeRelation::Child, "R001002004", "London");
    selector.add("R001", TreeRelation::Child, "R001003", "Phrases");
    chosen.add({}, TreeRelation::Last, kNewItemsKey, "New items");
    chosen.add({}, TreeRelation::Last, headingKey(11), "Guide product");
    screenLink().tvReferenceSelector = {&selector};
    screenLink().tvReferenceSelected = &chosen;
  }
  MemoryTreeView selector, chosen;
};

TEST_F(PreviewTicks, UntickingAndRetickingAnAddRowKeepsOneRowAndOneNode) {
  const std::string key = "R00R001002004";
  chosen.add(kNewItemsKey, TreeRelation::Next, key, "Guide, Cities, London", "1");
  selector.setForeColor("R001002004", kColorGrayText);
  Bhtm_TrackProfileChanges(101, 4, true, key);

  Bhtm_ChangePreviewSelection(key, false, "Add");
  EXPECT_EQ(journalRows(), 0);
  EXPECT_FALSE(chosen.exists(key));
  EXPECT_EQ(selector.foreColor("R001002004"), 0u);

  Bhtm_ChangePreviewSelection(key, true, "Add");
  EXPECT_EQ(journalRows(), 1);
  ASSERT_TRUE(chosen.exists(key));
  EXPECT_EQ(chosen.text(key), "Guide, Cities, London");
  EXPECT_EQ(chosen.parentKey(key), "");  // beside the heading, as the trees place chosen items
  EXPECT_EQ(selector.foreColor("R001002004"), kColorGrayText);
  dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ReferenceChanges");
  EXPECT_TRUE(rs["Add"].value().toBool());
  EXPECT_EQ(rs["TreeKey"].value().toString(), key);
}

TEST_F(PreviewTicks, UntickingARemoveRowPutsTheTopicBackUnderItsProduct) {
  const std::string key = "R00R001003";
  Bhtm_TrackProfileChanges(101, 3, false, key);
  Bhtm_ChangePreviewSelection(key, false, "Remove");
  EXPECT_EQ(journalRows(), 0);
  ASSERT_TRUE(chosen.exists(key));
  std::vector<std::string> roots = chosen.rootKeys();
  auto heading = std::find(roots.begin(), roots.end(), headingKey(11));
  ASSERT_NE(heading, roots.end());
  EXPECT_EQ(*(heading + 1), key);
  EXPECT_EQ(chosen.text(key), "Guide, Phrases");

  Bhtm_ChangePreviewSelection(key, true, "Remove");
  EXPECT_EQ(journalRows(), 1);
  EXPECT_FALSE(chosen.exists(key));
  EXPECT_EQ(selector.foreColor("R001003"), 0u);
  dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ReferenceChanges");
  EXPECT_FALSE(rs["Add"].value().toBool());
}

TEST_F(PreviewTicks, AKeyThatIsNoReferenceKeyIsReported) {
  for (const char* bad : {"R0", "Rxx001", "R00abc"}) {
    reported = 0;
    EXPECT_THROW(Bhtm_ChangePreviewSelection(bad, true, "Add"), ProgramEnded) << bad;
    EXPECT_EQ(where, "Bhtm_ChangePreviewSelection");
    EXPECT_EQ(reported, err::TypeMismatch);
  }
}

TEST_F(Journal, ApplyingWritesTheTreeBackWithAncestorsOnce) {
  choose(101, 3);
  choose(101, 1);
  Bhtm_LoadReferenceStructure();
  Bhtm_TrackProfileChanges(101, 4, true, "R00R001002004");
  Bhtm_TrackProfileChanges(101, 3, false, "R00R001003");
  Bhtm_TrackProfileChanges(7, 2, true, "R01R001002");
  Bhtm_ProcessProfileChanges();
  EXPECT_EQ(profileRefs(), (std::set<std::string>{"101_1", "101_2", "101_4", "7_1", "7_2"}));
  EXPECT_EQ(journalRows(), 0);
  dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ProfileRefList");
  for (; !rs.eof(); rs.moveNext()) {
    EXPECT_EQ(rs["Status"].value().toLong(), 1);
    EXPECT_EQ(rs["ProfileID"].value().toLong(), 1);
  }
}

TEST_F(Journal, EmptyJournalLeavesTheProfileButEndsTheFirstRun) {
  choose(101, 3);
  bool first = true;
  screenLink().firstRun = [&] { return first; };
  Bhtm_LoadReferenceStructure();
  Bhtm_ProcessProfileChanges();
  EXPECT_EQ(profileRefs(), (std::set<std::string>{"101_3"}));  // not rewritten with its ancestors
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
}

TEST_F(Journal, InitialiseAppliesTheJournalOncePerRun) {
  Bhtm_TrackProfileChanges(101, 3, true, "R00R001003");
  Bhtm_InitialiseHandler();
  EXPECT_EQ(profileRefs(), (std::set<std::string>{"101_1", "101_3"}));
  EXPECT_TRUE(Bhtm_Generator().Bhtm_Initialised);
  Bhtm_TrackProfileChanges(101, 4, true, "R00R001002004");
  Bhtm_InitialiseHandler();
  EXPECT_EQ(journalRows(), 1);
  EXPECT_EQ(profileRefs(), (std::set<std::string>{"101_1", "101_3"}));
}

TEST_F(Journal, AJournalRowForAProductWithoutTreeIsReported) {
  Bhtm_LoadReferenceStructure();
  Bhtm_TrackProfileChanges(55, 3, true, "R05R001003");
  EXPECT_THROW(Bhtm_ProcessProfileChanges(), ProgramEnded);
  EXPECT_EQ(reported, 10000);
}

}  // namespace
}  // namespace pellary::testing
