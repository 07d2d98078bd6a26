#include <gtest/gtest.h>

#include "selection_fixture.h"

namespace pellary {
namespace {

class SelectionProcedures : public testing::SelectionDb {
 protected:
  void SetUp() override {
    SelectionDb::SetUp();
    memoryTrees();
    loadProfile();
    Bset_CategoryLists();
  }
  std::vector<std::string> under(const MemoryTreeView& t) const { return t.rootKeys(); }
};

TEST_F(SelectionProcedures, ANewCategoryGoesUnderNewItemsWithItsCount) {
  ASSERT_NE(categories.foreColor(league), kColorGrayText);
  Bint_CategorySelector(categories, league);
  const std::string k = chosenCategoryKey(0, league);
  ASSERT_TRUE(chosen.exists(k));
  EXPECT_EQ(chosen.text(k), "(1 of 2) League, Football, Sport");  // "Most": the minor match is left out
  EXPECT_EQ(chosen.image(k), "1");
  EXPECT_EQ(chosen.rootKeys()[1], k);  // directly after its heading
  EXPECT_EQ(categories.foreColor(league), kColorGrayText);
  EXPECT_EQ(record(4711).Status, catstate::Added);
  EXPECT_EQ(record(4711).Duration, 0x0A01);
}

TEST_F(SelectionProcedures, GreyNodesAndNodesWithChildrenAreNeverAdded) {
  Bint_CategorySelector(categories, league);
  int before = chosen.count();
  Bint_CategorySelector(categories, league);  // grey now
  Bint_CategorySelector(categories, "P007012");
  Bint_CategorySelector(categories, "P007");
  EXPECT_EQ(chosen.count(), before);
  EXPECT_EQ(Bsda().catCount(), 2);  // the stored cup and the league
}

TEST_F(SelectionProcedures, AStoredCategoryRemovedAndAddedAgainReturnsUnderItsHeading) {
  const std::string k = chosenCategoryKey(0, cup);
  ASSERT_TRUE(chosen.exists(k));  // from the stored profile
  EXPECT_EQ(categories.foreColor(cup), kColorGrayText);
  Bint_CategoryRemover({k});
  EXPECT_FALSE(chosen.exists(k));
  EXPECT_EQ(categories.foreColor(cup), 0u);
  EXPECT_EQ(record(4712).Status, catstate::Removed);

  Bint_CategorySelector(categories, cup);
  ASSERT_TRUE(chosen.exists(k));
  EXPECT_EQ(chosen.text(k), "Cup, Football, Sport");  // no count for a stored category
  EXPECT_EQ(chosen.parentKey(k), "");
  std::vector<std::string> roots = chosen.rootKeys();
  auto heading = std::find(roots.begin(), roots.end(), headingKey(30));
  ASSERT_NE(heading, roots.end());
  EXPECT_EQ(*(heading + 1), k);
  EXPECT_EQ(record(4712).Status, catstate::InProfile);
}

TEST_F(SelectionProcedures, RemovingANewCategoryLeavesItUnselectedAndHeadingsStay) {
  Bint_CategorySelector(categories, league);
  const std::string k = chosenCategoryKey(0, league);
  int headings = 0;
  for (const std::string& key : chosen.keys()) headings += chosen.bold(key);
  Bint_CategoryRemover({kNewItemsKey, headingKey(30)});
  EXPECT_TRUE(chosen.exists(k));
  EXPECT_EQ(record(4711).Status, catstate::Added);
  Bint_CategoryRemover({kNewItemsKey, k});
  EXPECT_FALSE(chosen.exists(k));
  EXPECT_TRUE(chosen.exists(kNewItemsKey));
  EXPECT_EQ(headings, 2);
  EXPECT_EQ(record(4711).Status, catstate::NotSelected);
  EXPECT_EQ(categories.foreColor(league), 0u);
}

TEST_F(SelectionProcedures, TheNewestEntryStandsFirst) {
  Bint_CategorySelector(categories, league);
  Bint_CategoryRemover({chosenCategoryKey(0, cup)});
  Bsda().Bsda_ProfileCatList[size_t(Bsda_GetCatIDIndex(4712))].Status = 0;  // as if never stored
  Bint_CategorySelector(categories, cup);
  std::vector<std::string> roots = chosen.rootKeys();
  ASSERT_GE(roots.size(), 3u);
  EXPECT_EQ(roots[1], chosenCategoryKey(0, cup));
  EXPECT_EQ(roots[2], chosenCategoryKey(0, league));
}

TEST_F(SelectionProcedures, ReferenceTopicsAreJournalledAndMarked) {
  Bint_ReferenceSelector(topics, "R001");  // has children
  EXPECT_EQ(journalRows(), 0);
  Bint_ReferenceSelector(topics, "R001002");
  const std::string k = chosenTopicKey(0, "R001002");
  ASSERT_TRUE(chosenTopics.exists(k));
  EXPECT_EQ(k, "R00R001002");
  EXPECT_EQ(chosenTopics.text(k), "Visas, Travel");
  EXPECT_EQ(chosenTopics.rootKeys()[1], k);
  EXPECT_EQ(topics.foreColor("R001002"), kColorGrayText);
  ASSERT_EQ(journalRows(), 1);
  dao::Recordset rs = db().openRecordset("SELECT * FROM ReferenceChanges");
  EXPECT_EQ(rs["RefID"].value().toLong(), 2);
  EXPECT_EQ(rs["TreeKey"].value().toString(), k);

  Bint_ReferenceRemover({kNewItemsKey, k});
  EXPECT_FALSE(chosenTopics.exists(k));
  EXPECT_EQ(topics.foreColor("R001002"), 0u);
  EXPECT_EQ(journalRows(), 0);  // the second change undid the first
}

TEST_F(SelectionProcedures, NextAndPreviousTabWrapRound) {
  Bset().Bset_ProductCount = 4;
  for (int16_t i : {0, 1, 2, 3}) {
    int16_t j = i;
    EXPECT_EQ(Bint_MMNextTab(j), i == 3 ? 0 : i + 1);
    EXPECT_EQ(Bint_MMPreviousTab(j), i == 0 ? 3 : i - 1);
  }
}

TEST_F(SelectionProcedures, TheStripFollowsTheNumberOfProducts) {
  struct Case {
    int16_t products;
    int places;
    bool buttons;
    int cover;
  } cases[] = {{2, 2, false, 2400}, {3, 3, false, 3600}, {4, 4, true, -1}, {6, 4, true, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.products);
    Bset().Bset_ProductCount = c.products;
    Bint_ManagerMainInitialize();
    TabStripLayout l = tabStripLayout();
    EXPECT_EQ(l.places, c.places);
    EXPECT_EQ(l.scrollButtons, c.buttons);
    EXPECT_EQ(l.coverLeft, c.cover);
    EXPECT_EQ(Bint_CurrentProductTab(), 0);
  }
}

TEST_F(SelectionProcedures, TabClicksAndScrollsMoveTheCurrentTab) {
  Bset().Bset_ProductCount = 5;
  Bint_ManagerMainInitialize();
  struct Step {
    std::function<void()> act;
    int16_t first;
    int32_t place;
    int16_t current;
  } steps[] = {
      {[] { tabPlaceClicked(1); }, 0, 1, 1}, {[] { tabPlaceClicked(3); }, 1, 2, 3},
      {[] { tabScrollLeft(); }, 2, 1, 3},    {[] { tabScrollRight(); }, 1, 2, 3},
      {[] { tabScrollRight(); }, 0, 2, 2},   {[] { tabPlaceClicked(0); }, 0, 0, 0},
      {[] { tabScrollRight(); }, 4, 1, 0},   {[] { tabScrollLeft(); }, 0, 0, 0},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(Bint().Bint_FirstTab, s.first);
    EXPECT_EQ(Bint().Bint_SelectedTabPlace, s.place);
    EXPECT_EQ(Bint_CurrentProductTab(), s.current);
  }
  TabStripLayout l = tabStripLayout();
  EXPECT_EQ((std::vector<int>{l.productAt[0], l.productAt[1], l.productAt[2], l.productAt[3]}),
            (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(SelectionProcedures, WhatTheCurrentTabShows) {
  Bset().Bset_ProductCount = 2;
  Bint_ManagerMainInitialize();
  for (int32_t viewers : {1, 2, 3, 5}) {
    Bset().Bset_Viewers[0] = viewers;
    TabStripLayout l = tabStripLayout();
    EXPECT_EQ(l.categoryTreeShown(0), viewers == 1 || viewers == 3) << viewers;
    EXPECT_EQ(l.referenceTreeShown(0), viewers == 2 || viewers == 3) << viewers;
    EXPECT_FALSE(l.otherProductsShown());
    EXPECT_FALSE(l.categoryTreeShown(1));
  }
  tabPlaceClicked(1);
  EXPECT_TRUE(tabStripLayout().otherProductsShown());
  EXPECT_FALSE(tabStripLayout().categoryTreeShown(1));
}

TEST_F(SelectionProcedures, ATipShowsAfterTwoToThreeQuietSeconds) {
  EXPECT_FALSE(toolTipDue(102.0, 100, true, 93));
  EXPECT_TRUE(toolTipDue(102.5, 100, true, 93));
  EXPECT_FALSE(toolTipDue(103.0, 100, true, 93));
  EXPECT_FALSE(toolTipDue(102.5, 100, false, 93));
  EXPECT_FALSE(toolTipDue(102.5, 100, true, 0));
}

TEST_F(SelectionProcedures, ContinueWritesTheTicksSetsTheFlagsAndMovesOn) {
  MemoryPreviewList dates;
  previewTargets().dates = &dates;
  Bset().Bset_RefPlat1 = 1;
  Bmm_CurrentPage() = page::Selection;
  // Nothing chosen, nothing journalled: the "no changes" page.
  selectionContinue(true, false);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref1"), "on");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2"), "off");
  EXPECT_FALSE(Bint_Ref1Pending());
  EXPECT_FALSE(Bint_DatesPending());
  EXPECT_EQ(Bmm_CurrentPage(), page::NoChanges);

  // A reference topic chosen with the PC output ticked: the summary.
  Bmm_CurrentPage() = page::Selection;
  Bint_ReferenceSelector(topics, "R001003");
  selectionContinue(true, true);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2"), "on");
  EXPECT_TRUE(Bint_Ref1Pending());
  EXPECT_FALSE(Bint_Ref2Pending());  // no device reference code
  EXPECT_EQ(Bmm_CurrentPage(), page::Summary);
  EXPECT_TRUE(Bsql().Bsql_rsWrite.isOpen() || !Bsql().Bsql_HaveNewEvents);
}

}  // namespace
}  // namespace pellary
