#include <gtest/gtest.h>

#include "../profile/profile_fixture.h"
#include "core/idindex.h"
#include "core/selection.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/writer_helpers.h"

namespace pellary {
namespace {

class CategorySelection : public testing::ProfileDb {
 protected:
  void SetUp() override {
    ProfileDb::SetUp();
    oneProduct(day(2027, 3, 1));
    addProduct(3, 30, 1, day(2027, 3, 1), 0);
    addPrimary(3, 7, "Sport");
    addSecondary(3, 7, 12, "Football");
    addTertiary(3, 7, 12, 3, 4711, "League", 0);
    addTertiary(3, 7, 12, 4, 12, "France", 1);
    addTertiary(3, 7, 12, 5, 40, "Spain", 1);
  }
  const std::string key = tertiaryKey(7, 12, 3, 4711, 4);
  const std::string chosenKey = chosenCategoryKey(0, tertiaryKey(7, 12, 3, 4711, 4));
  ProfileCatRecord* record(long catID) {
    int32_t p = Bsda_GetCatIDIndex(catID);
    return p ? &Bsda().Bsda_ProfileCatList[p] : nullptr;
  }
  // The selection screen's order of calls when a category is added.
  int32_t addCategory(const std::string& k) {
    Bsql_SetSingleNodePreview(k);
    Bsql_AddToProfileCatList(settingOfCategoryKey(k));
    int32_t n = Bsql_CountActiveRecords();
    Bsql_AddToCategorySelection(k);
    return n;
  }
};

TEST_F(CategorySelection, AddAndRemoveMoveTheStateAndKeepTheOptions) {
  struct Case {
    int16_t before;  // -1: no record yet
    int16_t afterAdd;
    int16_t afterRemove;  // from the state before, not after the add
  } cases[] = {
      {-1, 2, -1},
      {0, 2, 0},
      {4, 2, 8},
      {0x0054, 0x0052, 0x0058},
      {2, 2, 0},
      {0x0032, 0x0032, 0x0030},
      {0x0038, 0x0034, 0x0030},  // removed earlier and added again: back in the profile
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    resetProfileLists();
    loadProfile();
    if (c.before >= 0) Bsda_AddToProfileCatList(4711, c.before, 0x0401, 0, 0, 4);
    Bsql_SetSingleNodePreview(key);
    Bsql_AddToCategorySelection(key);
    ASSERT_NE(record(4711), nullptr);
    EXPECT_EQ(record(4711)->Status, c.afterAdd);
    if (c.before < 0) {
      EXPECT_EQ(record(4711)->Duration, 0x0A01);
      EXPECT_EQ(record(4711)->CatSetting, 4);
      EXPECT_EQ(record(4711)->StartDate, 0);
    }

    if (c.before < 0) continue;
    record(4711)->Status = c.before;
    Bsql_RemoveFromCategorySelection(chosenKey);
    EXPECT_EQ(record(4711)->Status, c.afterRemove);
  }
}

TEST_F(CategorySelection, KeysOfCategoriesOutsideTheProfileChangeNothing) {
  loadProfile();
  Bsql_RemoveFromCategorySelection(chosenCategoryKey(0, tertiaryKey(1, 1, 1, 999, 0)));
  EXPECT_EQ(Bsda().catCount(), 0);
  Bsql_RemoveFromCategorySelection("K0");  // short key: nothing to find
  EXPECT_EQ(Bsda().catCount(), 0);
}

TEST_F(CategorySelection, CountsFollowPriorityWindowAndWrittenState) {
  // Window from 1 March; the new category includes "Most" (priority up to 2).
  addEvent(1, "key event", day(2027, 3, 2), day(2027, 3, 2), 1);
  addEvent(2, "most", day(2027, 3, 3), day(2027, 3, 3), 2);
  addEvent(3, "minor", day(2027, 3, 4), day(2027, 3, 4), 3);
  addEvent(4, "minor, ticked by hand", day(2027, 3, 5), day(2027, 3, 5), 3);
  addEvent(5, "already written", day(2027, 3, 6), day(2027, 3, 6), 1);
  addEvent(6, "written and ticked by hand", day(2027, 3, 6), day(2027, 3, 6), 1);
  addEvent(7, "before the window", day(2027, 2, 1), day(2027, 2, 1), 1);
  addEvent(8, "unticked", day(2027, 3, 7), day(2027, 3, 7), 1);
  for (long e = 1; e <= 8; ++e) link(e, 4711);
  profileEvent(4, 4711, 0x4002);
  profileEvent(5, 4711, 4);
  profileEvent(6, 4711, 0x4004);
  profileEvent(8, 4711, 9);
  loadProfile();
  EXPECT_EQ(addCategory(key), 3);  // 1, 2 and 4
  EXPECT_EQ(Bsql().Bsql_EventCount, 7);
  EXPECT_EQ(Bsql().Bsql_CurrentCatID, 4711);
  EXPECT_EQ(Bsql().Bsql_CurrentCatSetting, 4);
}

TEST_F(CategorySelection, ACategoryWithoutEventsCountsZeroOfZero) {
  loadProfile();
  EXPECT_EQ(addCategory(key), 0);
  EXPECT_EQ(Bsql().Bsql_EventCount, 0);
  EXPECT_EQ(countPrefix(0, 0), "(0 of 0) ");
}

TEST_F(CategorySelection, HolidaysCountWhenTheirCountriesChanged) {
  addEvent(1, "new holiday", day(2027, 5, 1), day(2027, 5, 1));
  addEvent(2, "unchanged holiday", day(2027, 5, 2), day(2027, 5, 2));
  addEvent(3, "taken out", day(2027, 5, 3), day(2027, 5, 3));
  for (long e = 1; e <= 3; ++e) {
    link(e, 12);
    link(e, 40);
  }
  profileCat(40, 4, 0x0A01, 1);
  profileEvent(2, 0, 4, 1, "", "12,40");
  profileEvent(3, 0, 9, 1, "", "40");
  loadProfile();
  EXPECT_EQ(addCategory(tertiaryKey(7, 12, 4, 12, 1)), 1);
  EXPECT_EQ(Bsql().Bsql_EventCount, 3);
  EXPECT_EQ(Bplp_PubHolLookup(1), "Public holiday in: France, Spain|12,40");
  Bsda().Bsda_ProfileCatList[Bsda_GetCatIDIndex(40)].Status = 8;
  EXPECT_EQ(Bplp_PubHolLookup(1), "Public holiday in: France|12");
}

// Only countries the user chose name a holiday: a record the options dialog
// made (Preview, then Cancel) or one added and taken out again does not.
TEST_F(CategorySelection, HolidayCountriesAreOnlyTheChosenOnes) {
  addEvent(1, "holiday", day(2027, 5, 1), day(2027, 5, 1));
  link(1, 12);
  link(1, 40);
  struct Case {
    const char* name;
    int16_t spainStatus;  // -1: no record
    const char* expected;
  } cases[] = {
      {"no record", -1, "Public holiday in: France|12"},
      {"previewed, not added", 0, "Public holiday in: France|12"},
      {"previewed with options", 0x0150, "Public holiday in: France|12"},
      {"added this run", 2, "Public holiday in: France, Spain|12,40"},
      {"in the profile", 0x0014, "Public holiday in: France, Spain|12,40"},
      {"taken out this run", 8, "Public holiday in: France|12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetProfileLists();
    loadProfile();
    Bsda_AddToProfileCatList(12, 4, 0x0A01, 0, 0, 1);
    if (c.spainStatus >= 0) Bsda_AddToProfileCatList(40, c.spainStatus, 0x0A01, 0, 0, 1);
    EXPECT_EQ(Bplp_PubHolLookup(1), c.expected);
    // The country being added counts while its count is taken.
    if (c.spainStatus >= 0) {
      EXPECT_EQ(Bplp_PubHolLookup(1, 40), "Public holiday in: France, Spain|12,40");
    }
  }
}

// The countries stand as names sort everywhere: accents beside their
// letters, case ignored; a country not in the profile is left out.
TEST_F(CategorySelection, HolidayCountriesStandInNameOrder) {
  addTertiary(3, 7, 12, 6, 41, "\xC3\x96sterreich", 1);
  addTertiary(3, 7, 12, 7, 42, "oman", 1);
  addTertiary(3, 7, 12, 8, 43, "Zypern", 1);
  addTertiary(3, 7, 12, 9, 44, "Not chosen", 1);
  addEvent(1, "holiday", day(2027, 5, 1), day(2027, 5, 1));
  for (long c : {43, 41, 44, 42, 12}) link(1, c);
  for (long c : {12, 41, 42, 43}) profileCat(c, 4, 0x0A01, 1);
  loadProfile();
  EXPECT_EQ(Bplp_PubHolLookup(1), "Public holiday in: France, oman, \xC3\x96sterreich, Zypern|12,42,41,43");
  EXPECT_EQ(Bplp_PubHolLookup(2), "");
}

TEST_F(CategorySelection, RecountRewritesOnlyCountedNodes) {
  MemoryTreeView chosen;
  screenLink().tvSelectedItems = &chosen;
  screenLink().currentCategoryCaption = [] { return std::string("League, Football, Sport"); };
  addEvent(1, "a", day(2027, 3, 2), day(2027, 3, 2), 1);
  link(1, 4711);
  loadProfile();
  addCategory(key);
  chosen.add({}, TreeRelation::Last, chosenKey, "(0 of 0) League, Football, Sport");
  chosen.add({}, TreeRelation::Last, "K00other", "League");
  Bsql().Bsql_PreviewNodeKey = chosenKey;
  Bsql_ReCountEvents();
  EXPECT_EQ(chosen.text(chosenKey), "(1 of 1) League, Football, Sport");
  Bsql().Bsql_PreviewNodeKey = "K00other";
  Bsql_ReCountEvents();
  EXPECT_EQ(chosen.text("K00other"), "League");
}

TEST(WriterHelpers, PriorityLevelOfTheIncludeBits) {
  EXPECT_EQ(Bplp_CheckPriority(0x0080), 1);
  EXPECT_EQ(Bplp_CheckPriority(0x0004), 2);
  EXPECT_EQ(Bplp_CheckPriority(0x0104), 3);
  EXPECT_EQ(Bplp_CheckPriority(0x0180), 0);
}

TEST(WriterHelpers, ArrayCompareTestsInOrder) {
  struct Case {
    const char *newList, *oldList;
    int16_t oldVersion, newVersion, expected;
  } cases[] = {
      {"12,40", "12,40", 1, 2, 4},  // a newer version
      {"12,40", "12,40", 0, 5, 0},  // stored version 0 is never rewritten for its version
      {"ab", "AB", 1, 1, 0},        // letter case does not count
      {"", "12", 1, 1, 2},         {"12", "", 1, 1, 1}, {"12", "40", 1, 1, 4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Bplp_ArrayCompare(c.newList, c.oldList, c.oldVersion, c.newVersion), c.expected)
        << c.newList << " / " << c.oldList;
}

}  // namespace
}  // namespace pellary
