#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "../profile/profile_fixture.h"
#include "core/final_selection.h"
#include "core/idindex.h"

namespace pellary {
namespace {

class FinalSelection : public testing::ProfileDb {
 protected:
  // (EventID, CatID) of every row of a cursor, with the row's Status; the
  // cursor must stand on its first row with a complete count.
  static std::multiset<std::pair<long, long>> rows(dao::Recordset& rs, bool withCat = true) {
    std::multiset<std::pair<long, long>> out;
    EXPECT_FALSE(rs.bof());
    long n = rs.recordCount();
    for (; !rs.eof(); rs.moveNext())
      out.emplace(rs["EventID"].value().toLong(), withCat ? rs["CatID"].value().toLong() : 0);
    EXPECT_EQ(static_cast<long>(out.size()), n);
    return out;
  }
};

TEST(CategoryClass, FirstMatchWins) {
  struct Case {
    int16_t status, setting;
    CategoryClass expected;
  } cases[] = {
      {0, 0, CategoryClass::None},
      {2, 0, CategoryClass::Write},
      {0x0052, 6, CategoryClass::Write},
      {8, 0, CategoryClass::Delete},
      {4, 0, CategoryClass::Update},
      {4, 1, CategoryClass::PublicHoliday},
      {8, 1, CategoryClass::PublicHoliday},
      {0x0030, 1, CategoryClass::PublicHoliday},  // option bits alone keep a holiday category
      {0, 1, CategoryClass::None},
      {0x0030, 0, CategoryClass::None},
  };
  for (const Case& c : cases) EXPECT_EQ(categoryClassOf(c.status, c.setting), c.expected) << c.status;
}

TEST_F(FinalSelection, AnEmptyProfileOpensNothing) {
  loadProfile();
  Bsql_SetFinalRecordSelection();
  const DatabaseAccess& q = Bsql();
  EXPECT_FALSE(q.Bsql_HaveNewEvents || q.Bsql_HaveDeletions || q.Bsql_HaveUpdates || q.Bsql_HavePubHols);
  EXPECT_FALSE(q.Bsql_rsWrite.isOpen() || q.Bsql_rsDelete.isOpen() || q.Bsql_rsUpdate.isOpen() ||
               q.Bsql_rsPubHol.isOpen());
}

TEST_F(FinalSelection, FourCursorsHoldTheLinksOfTheirClass) {
  // Categories: 10 and 11 added, 20 removed, 30 kept, 40 and 41 holidays, 50 not selected.
  profileCat(20, 4);
  profileCat(30, 4);
  profileCat(40, 4, 0x0A01, 1);
  loadProfile();
  Bsda_AddToProfileCatList(10, 2, 0x0A01, 0, 0, 0);
  Bsda_AddToProfileCatList(11, 0x0052, 0x0A01, 0, 0, 0);
  Bsda_AddToProfileCatList(41, 2, 0x0A01, 0, 0, 1);
  Bsda_AddToProfileCatList(50, 0, 0x0A01, 0, 0, 0);
  Bsda().Bsda_ProfileCatList[Bsda_GetCatIDIndex(20)].Status = 8;

  addEvent(1, "new", day(2027, 1, 5), day(2027, 1, 5), 1, 2);
  addEvent(1, "old version", day(2027, 1, 4), day(2027, 1, 4), 1, 1, 0);
  link(1, 10);
  addEvent(2, "in two new categories", day(2027, 1, 6), day(2027, 1, 6));
  link(2, 10);
  link(2, 11);
  addEvent(3, "removed", day(2027, 1, 7), day(2027, 1, 7), 1, 2);
  addEvent(3, "removed, old", day(2027, 1, 7), day(2027, 1, 7), 1, 1, 0);
  link(3, 20);
  addEvent(4, "kept", day(2027, 1, 8), day(2027, 1, 8), 1, 3, 0);
  link(4, 30);
  addEvent(5, "holiday in two countries", day(2027, 1, 1), day(2027, 1, 1));
  link(5, 40);
  link(5, 41);
  addEvent(6, "unchosen", day(2027, 1, 1), day(2027, 1, 1));
  link(6, 50);

  Bsql_SetFinalRecordSelection();
  DatabaseAccess& q = Bsql();
  EXPECT_EQ(q.writeList, "(CatID = 10) OR (CatID = 11)");
  EXPECT_EQ(q.deleteList, "(CatID = 20)");
  EXPECT_EQ(q.updateList, "(CatID = 30)");
  EXPECT_EQ(q.pubHolList, "(CatID = 40) OR (CatID = 41)");
  ASSERT_TRUE(q.Bsql_HaveNewEvents && q.Bsql_HaveDeletions && q.Bsql_HaveUpdates && q.Bsql_HavePubHols);

  using Rows = std::multiset<std::pair<long, long>>;
  // The write cursor leaves retired versions out; the others keep them.
  EXPECT_EQ(q.Bsql_rsWrite["Title"].value().toString(), "new");  // ordered by start date
  EXPECT_EQ(rows(q.Bsql_rsWrite), (Rows{{1, 10}, {2, 10}, {2, 11}}));
  EXPECT_EQ(rows(q.Bsql_rsDelete), (Rows{{3, 20}, {3, 20}}));
  EXPECT_EQ(rows(q.Bsql_rsUpdate), (Rows{{4, 30}}));
  EXPECT_EQ(rows(q.Bsql_rsPubHol, false), (Rows{{5, 0}, {5, 0}}));

  // A second call replaces the cursors.
  Bsda().Bsda_ProfileCatList[Bsda_GetCatIDIndex(20)].Status = 4;
  Bsql_SetFinalRecordSelection();
  EXPECT_FALSE(q.Bsql_HaveDeletions);
  EXPECT_FALSE(q.Bsql_rsDelete.isOpen());
  EXPECT_EQ(rows(q.Bsql_rsUpdate), (Rows{{3, 20}, {3, 20}, {4, 30}}));
}

TEST_F(FinalSelection, AClassOfMoreThanAThousandCategoriesOpens) {
  loadProfile();
  for (long c = 1; c <= 1500; ++c) Bsda_AddToProfileCatList(c, 2, 0x0A01, 0, 0, 0);
  db().beginTrans();
  for (long e = 1; e <= 1500; e += 7) {
    addEvent(e, "e", day(2027, 1, 1) + e, day(2027, 1, 1) + e);
    link(e, e);
  }
  db().commitTrans();
  Bsql_SetFinalRecordSelection();
  ASSERT_TRUE(Bsql().Bsql_HaveNewEvents);
  EXPECT_EQ(Bsql().Bsql_rsWrite.recordCount(), (1500 + 6) / 7);
}

TEST_F(FinalSelection, TheHourglassShowsWhileTheCursorsOpen) {
  std::vector<bool> pointer;
  screenLink().hourglass = [&](bool on) { pointer.push_back(on); };
  loadProfile();
  Bsql_SetFinalRecordSelection();
  EXPECT_EQ(pointer, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace pellary
