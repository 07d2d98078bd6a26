#include <gtest/gtest.h>

#include "core/idindex.h"
#include "core/profile_lists.h"
#include "profile_fixture.h"

namespace pellary {
namespace {

using Lists = testing::ProfileDb;

TEST_F(Lists, EmptyProfileLoadsEmptyListsWithTheirStartingRoom) {
  loadProfile();
  const ProfileLists& s = Bsda();
  EXPECT_EQ(s.catUpperBound(), 100);
  EXPECT_EQ(s.eventUpperBound(), 500);
  EXPECT_EQ(s.Bsda_ProfileCatNext, 1);
  EXPECT_EQ(s.Bsda_ProfileEventNext, 1);
  EXPECT_EQ(s.Bsda_PlatMisc.size(), 2u);
  EXPECT_EQ(s.Bsda_HolidayList.size(), 2u);
}

TEST_F(Lists, RowsOfTheProfileLoadWithNullsAsZeroAndBothAddStatusValues) {
  profileCat(4711, 4, 0x0A01, 2, 0);
  profileCat(12, 0x54, 0x4401, 0, 1);
  exec("INSERT INTO ProfileCatList (ProfileID, CatID, Status) VALUES (2, 99, 4)");  // another profile
  profileEvent(100, 4711, 4, 3, "ID-1^ID-2", "12,40");
  profileEvent(101, 12, 2, 0);                                                           // Null PlatMisc, PubHol
  exec("INSERT INTO ProfileEventList (ProfileID, EventID, CatID) VALUES (1, 102, 12)");  // Null everything else
  loadProfile();
  const ProfileLists& s = Bsda();
  ASSERT_EQ(s.catCount(), 2);
  EXPECT_EQ(s.catUpperBound(), 102);
  const ProfileCatRecord& c = s.Bsda_ProfileCatList[Bsda_GetCatIDIndex(4711)];
  EXPECT_EQ(c.Status, 4);
  EXPECT_EQ(c.CatSetting, 2);
  EXPECT_EQ(c.ProductIndex, 0);
  EXPECT_EQ(c.HasTargetEntries, 0);
  EXPECT_EQ(s.Bsda_ProfileCatList[Bsda_GetCatIDIndex(12)].Duration, 0x4401);
  EXPECT_EQ(Bsda_GetCatIDIndex(99), 0);

  ASSERT_EQ(s.eventCount(), 3);
  const ProfileEventRecord& e = s.Bsda_ProfileEventList[Bsda_GetEventIDIndex(100)];
  EXPECT_EQ(s.platMisc(e.PlatMisc), "ID-1^ID-2");
  EXPECT_EQ(s.holidayList(e.PubHol), "12,40");
  EXPECT_EQ(e.Version, 3);
  const ProfileEventRecord& bare = s.Bsda_ProfileEventList[Bsda_GetEventIDIndex(102)];
  EXPECT_EQ(bare.Status, 0);
  EXPECT_EQ(bare.PlatMisc, 0);
  EXPECT_EQ(bare.PubHol, 0);
  EXPECT_EQ(bare.DateUsed, 0);
  EXPECT_EQ(s.Bsda_PlatMiscCount, 1);
  EXPECT_EQ(s.Bsda_HolidayCount, 1);
}

TEST_F(Lists, AppendingGrowsInStepsAndKeepsPositionsFindable) {
  loadProfile();
  screenLink().currentProductTab = 3;
  for (int32_t id = 1; id <= 101; ++id) Bsda_AddToProfileCatList(id * 10, 0, 0x0A01, 0, 0, 0);
  EXPECT_EQ(Bsda().catUpperBound(), 200);
  ASSERT_EQ(Bsda_GetCatIDIndex(1010), 101);
  EXPECT_EQ(Bsda().Bsda_ProfileCatList[101].CatID, 1010);
  EXPECT_EQ(Bsda().Bsda_ProfileCatList[101].ProductIndex, 3);
  EXPECT_EQ(Bsda().Bsda_ProfileCatList[1].CatID, 10);

  for (int32_t id = 1; id <= 501; ++id) Bsda_AddToProfileEventList(id, 7, 2, 0, 0, 0, id == 501 ? "X" : "");
  EXPECT_EQ(Bsda().eventUpperBound(), 1000);
  const ProfileEventRecord& last = Bsda().Bsda_ProfileEventList[Bsda_GetEventIDIndex(501)];
  EXPECT_EQ(Bsda().platMisc(last.PlatMisc), "X");
  EXPECT_EQ(Bsda().Bsda_ProfileEventList[1].PlatMisc, 0);
}

// A second load (another profile, another databank) replaces the lists: an ID
// of the first load finds nothing, and an append is found where it went.
TEST_F(Lists, ALaterLoadForgetsThePositionsOfTheFirst) {
  profileCat(4711, 4);
  profileEvent(100, 4711, 4);
  profileEvent(101, 4711, 4);
  loadProfile();
  ASSERT_EQ(Bsda_GetEventIDIndex(101), 2);
  exec("DELETE FROM ProfileCatList");
  exec("DELETE FROM ProfileEventList");
  loadProfile();
  EXPECT_EQ(Bsda_GetCatIDIndex(4711), 0);
  EXPECT_EQ(Bsda_GetEventIDIndex(100), 0);
  EXPECT_EQ(Bsda_GetEventIDIndex(101), 0);
  Bsda_AddToProfileEventList(101, 7, 2, 0, 0, 0, "");
  ASSERT_EQ(Bsda_GetEventIDIndex(101), 1);
  EXPECT_EQ(Bsda().event(1).EventID, 101);
}

TEST_F(Lists, PoolsIgnoreEmptyTextsAndGrowPastFiveHundred) {
  loadProfile();
  EXPECT_EQ(Bsda_AddPlatMisc(""), 0);
  EXPECT_EQ(Bsda().Bsda_PlatMiscCount, 0);
  EXPECT_EQ(Bsda_AddPlatMisc("a"), 1);
  EXPECT_EQ(Bsda().Bsda_PlatMisc.size(), 501u);
  for (int i = 2; i <= 600; ++i) EXPECT_EQ(Bsda_AddHolidayList(std::to_string(i)), i - 1);
  EXPECT_EQ(Bsda().holidayList(599), "600");
  EXPECT_EQ(Bsda().holidayList(5000), "");
}

// A damaged row with a negative ID loads without ending the program; it
// cannot be found through the index.
TEST_F(Lists, NegativeIdsFromTheDatabankAreKeptButNotIndexed) {
  profileCat(-5, 4);
  profileEvent(-7, 1, 4);
  EXPECT_NO_THROW(loadProfile());
  EXPECT_EQ(Bsda().catCount(), 1);
  EXPECT_EQ(Bsda().eventCount(), 1);
}

// The checked positions answer 0 for whatever would index outside the
// records in use: a negative or unknown ID, or an index entry left pointing
// past the end (the raw index hands such an entry out unchanged).
TEST_F(Lists, CheckedPositionsAnswerZeroOutsideTheRecordsInUse) {
  profileCat(4711, 4);
  profileEvent(100, 4711, 4);
  loadProfile();
  Bsda_AddToCatIndex(50, 77);
  Bsda_AddToEventIndex(9, 88);
  ASSERT_EQ(Bsda_GetCatIDIndex(77), 50);
  struct Case {
    int32_t id;
    int32_t cat, event;
  } cases[] = {{4711, 1, 0}, {100, 0, 1}, {77, 0, 0}, {88, 0, 0}, {-4711, 0, 0}, {5, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(catPosition(c.id), c.cat) << c.id;
    EXPECT_EQ(eventPosition(c.id), c.event) << c.id;
  }
}

}  // namespace
}  // namespace pellary
