#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/idindex.h"
#include "core/profile_commit.h"
#include "core/registry.h"
#include "profile_fixture.h"

namespace pellary {
namespace {

class Commit : public testing::ProfileDb {
 protected:
  // The stored profile: CatID -> Status of its committed rows.
  std::multimap<long, int> storedCats() {
    std::multimap<long, int> out;
    dao::Recordset rs = db().openRecordset("SELECT * FROM ProfileCatList WHERE ProfileID = 1");
    for (; !rs.eof(); rs.moveNext()) {
      EXPECT_EQ(rs["AddStatus"].value().toInteger(), 0);
      out.emplace(rs["CatID"].value().toLong(), rs["Status"].value().toInteger());
    }
    return out;
  }
  std::multimap<long, int> storedEvents() {
    std::multimap<long, int> out;
    dao::Recordset rs = db().openRecordset("SELECT * FROM ProfileEventList WHERE ProfileID = 1");
    for (; !rs.eof(); rs.moveNext()) {
      EXPECT_EQ(rs["AddStatus"].value().toInteger(), 0);
      out.emplace(rs["EventID"].value().toLong(), rs["Status"].value().toInteger());
    }
    return out;
  }
  ProfileCatRecord& cat(long id) { return Bsda().Bsda_ProfileCatList[Bsda_GetCatIDIndex(id)]; }
  ProfileEventRecord& event(long id) { return Bsda().Bsda_ProfileEventList[Bsda_GetEventIDIndex(id)]; }
  void reload() {
    resetProfileLists();
    loadProfile();
  }
  // Every column of every row as SQLite holds it (quote() tells an integer
  // from a real and text from Null), in table order.
  static std::vector<std::string> rowsOf(const std::string& table, const std::string& columns) {
    std::vector<std::string> out;
    std::string expr;
    size_t from = 0;
    while (from <= columns.size()) {
      const size_t comma = std::min(columns.find(',', from), columns.size());
      expr += (expr.empty() ? "" : " || '|' || ") + std::string("quote(") + columns.substr(from, comma - from) + ")";
      from = comma + 1;
    }
    for (const auto& row : db().select("SELECT " + expr + " FROM " + table + " ORDER BY rowid"))
      out.push_back(row[0].toString());
    return out;
  }
  static std::vector<std::string> eventRows() {
    return rowsOf("ProfileEventList",
                  "ProfileID,EventID,CatID,Version,Status,AddStatus,AuxDate,DateUsed,PlatMisc,PubHol");
  }
  static std::vector<std::string> catRows() {
    return rowsOf("ProfileCatList", "ProfileID,CatID,StartDate,EndDate,Duration,CatSetting,Status,AddStatus");
  }
};

// What a category record in memory becomes in the databank: state 8 clears
// the word, state 2 becomes 4 with its options; a word of 0 keeps its row only
// while one of its events stands on the target (0x0004) or was chosen by hand (0x4000).
TEST_F(Commit, CategoryStatesAndTargetEntriesDecideTheStoredRows) {
  struct Case {
    const char* name;
    int16_t status;
    int16_t eventStatus;  // of the category's one event; 0 = no event record
    bool rowStays;
    int16_t storedStatus;
  } cases[] = {
      {"added with options", 0x0052, 0, true, 0x0054},
      {"in the profile", 0x0114, 0, true, 0x0114},
      {"removed, entries deleted", 0x0048, 0, false, 0},
      {"removed, an entry still on the target", 0x0048, 0x0004, true, 0},
      {"not selected, hand-ticked event", 0x0000, 0x4002, true, 0},
      {"not selected, nothing written", 0x0000, 0x0002, false, 0},
      {"removed and added again (4)", 0x0004, 0, true, 4},
      {"added then removed (0) with option bits", 0x0030, 0, true, 0x0030},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    exec("DELETE FROM ProfileCatList");
    exec("DELETE FROM ProfileEventList");
    profileCat(500, 4);  // the previous profile
    profileEvent(9, 500, 4);
    reload();
    Bsda_AddToProfileCatList(700, c.status, 0x0A01, 0, 0, 0);
    if (c.eventStatus != 0) Bsda_AddToProfileEventList(77, 700, c.eventStatus, 1, 0, 0, "");
    Bsda_CommittChanges();

    std::multimap<long, int> cats = storedCats();
    EXPECT_EQ(cats.count(500), 1u);
    ASSERT_EQ(cats.count(700), c.rowStays ? 1u : 0u);
    if (c.rowStays) {
      EXPECT_EQ(cats.find(700)->second, c.storedStatus);
    }
    // In memory the category carries the committed word.
    EXPECT_EQ(cat(700).Status & 0x000F, c.storedStatus & 0x000F);

    reload();
    EXPECT_EQ(Bsda_GetCatIDIndex(700) != 0, c.rowStays);
  }
}

TEST_F(Commit, EventRecordsRoundTripAndStatusZeroIsDropped) {
  profileEvent(1, 10, 4, 2, "main^tickets", "12,40");
  profileEvent(2, 10, 4, 1);
  profileCat(10, 4);
  loadProfile();
  event(2).Status = 0;  // deleted from the target in this run
  Bsda_AddToProfileEventList(3, 10, 0x0204, 5, day(2027, 3, 1), 0, "new-id");
  Bsda_CommittChanges();

  EXPECT_EQ(storedEvents(), (std::multimap<long, int>{{1, 4}, {3, 0x0204}}));
  reload();
  EXPECT_EQ(Bsda().platMisc(event(1).PlatMisc), "main^tickets");
  EXPECT_EQ(Bsda().holidayList(event(1).PubHol), "12,40");
  EXPECT_EQ(event(3).Version, 5);
  EXPECT_EQ(event(3).DateUsed, day(2027, 3, 1));
  EXPECT_EQ(Bsda().platMisc(event(3).PlatMisc), "new-id");
  EXPECT_EQ(Bsda_GetEventIDIndex(2), 0);
}

TEST_F(Commit, ASecondCommitInOneRunChangesNothing) {
  profileCat(10, 4);
  profileCat(11, 4);
  profileEvent(1, 10, 4);
  loadProfile();
  cat(11).Status = 8;
  Bsda_AddToProfileCatList(12, 2, 0x0A01, 0, 0, 0);
  Bsda_CommittChanges();
  auto cats = storedCats();
  auto events = storedEvents();
  Bsda_CommittChanges();
  EXPECT_EQ(storedCats(), cats);
  EXPECT_EQ(storedEvents(), events);
  EXPECT_EQ(cats, (std::multimap<long, int>{{10, 4}, {12, 4}}));
}

TEST_F(Commit, EmptyProfileStoresOnlyTheNewRows) {
  loadProfile();
  Bsda_AddToProfileCatList(12, 2, 0x0A01, 0, 0, 0);
  Bsda_CommittChanges();
  EXPECT_EQ(storedCats(), (std::multimap<long, int>{{12, 4}}));
  EXPECT_EQ(count("SELECT * FROM ProfileCatList WHERE AddStatus = 1"), 0);
}

// A failure anywhere in the commit leaves the previous profile complete, with
// no rows of the failed commit beside it, and the in-memory words as they were.
TEST_F(Commit, AFailureMidCommitLeavesTheOldRows) {
  struct Case {
    const char* trigger;
    const char* location;
  } cases[] = {
      {"CREATE TRIGGER boom BEFORE INSERT ON ProfileCatList WHEN NEW.CatID = 12 BEGIN SELECT RAISE(ABORT, 'boom'); END",
       "Bsda_UnloadProfileCatList"},
      {"CREATE TRIGGER boom BEFORE DELETE ON ProfileEventList BEGIN SELECT RAISE(ABORT, 'boom'); END",
       "Bsda_UnloadProfileEventList"},
      {"CREATE TRIGGER boom BEFORE INSERT ON ProfileEventList WHEN NEW.EventID = 2 BEGIN SELECT RAISE(ABORT, 'boom'); "
       "END",
       "Bsda_UnloadProfileEventList"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    exec("DROP TRIGGER IF EXISTS boom");
    exec("DELETE FROM ProfileCatList");
    exec("DELETE FROM ProfileEventList");
    profileCat(10, 4);
    profileCat(11, 4);
    profileEvent(1, 10, 4);
    reload();
    cat(11).Status = 8;
    Bsda_AddToProfileCatList(12, 2, 0x0A01, 0, 0, 0);
    Bsda_AddToProfileEventList(2, 12, 0x0004, 1, 0, 0, "");
    exec(c.trigger);
    screenLink().firstRun = [] { return true; };
    Breg_WriteRegSettings("User", "FirstRun", "True");

    EXPECT_EQ(endsWith([] { Bsda_CommittChanges(); }), c.location);
    EXPECT_EQ(storedCats(), (std::multimap<long, int>{{10, 4}, {11, 4}}));
    EXPECT_EQ(storedEvents(), (std::multimap<long, int>{{1, 4}}));
    EXPECT_EQ(db().transactionDepth(), 0);
    EXPECT_EQ(cat(11).Status, 8);
    EXPECT_EQ(cat(12).Status, 2);
    EXPECT_EQ(cat(12).HasTargetEntries, 0);
    EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "True");
  }
  // Without the fault the same lists commit.
  exec("DROP TRIGGER boom");
  Bsda_CommittChanges();
  EXPECT_EQ(storedCats(), (std::multimap<long, int>{{10, 4}, {12, 4}}));
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
}

// A first run and an update run store exactly these rows: column values and
// their storage types, removed events and categories gone, changed versions
// and holiday lists, another profile's rows untouched, and rows an earlier
// commit left marked under way kept as committed.
TEST_F(Commit, AFirstRunAndAnUpdateRunStoreExactlyTheseRows) {
  profileCat(900, 4, 0x0A01, 0, 0);
  exec("UPDATE ProfileCatList SET ProfileID = 2");
  profileEvent(90, 900, 4, 3, "other", "1,2");
  exec("UPDATE ProfileEventList SET ProfileID = 2");
  loadProfile();
  // Rows left marked by a commit that did not end, which this load did not take.
  profileCat(800, 4, 0x0A01, 0, 1);
  profileEvent(80, 800, 4, 1, "", "", 1);
  const double d = day(2027, 3, 1);
  Bsda_AddToProfileCatList(10, 0x0152, 0x0A01, d, d + 30.25, 3);
  Bsda_AddToProfileCatList(11, 0x0002, 0x0001, 0, 0, 0);
  Bsda_AddToProfileEventList(1, 10, 0x0004, 2, d, d + 0.5, "main^tickets");
  Bsda_AddToProfileEventList(2, 11, 0x0204, 1, d + 1, 0, "");
  Bsda().event(Bsda_GetEventIDIndex(2)).PubHol = Bsda_AddHolidayList("12,40");
  Bsda_AddToProfileEventList(3, 10, 0x0002, 1, 0, 0, "");  // chosen, not yet written
  Bsda_CommittChanges();
  EXPECT_EQ(eventRows(), (std::vector<std::string>{
                             "2|90|900|3|4|0|0|0|'other'|'1,2'",
                             "1|80|800|1|4|0|0|0|NULL|NULL",
                             "1|1|10|2|4|0|46447.5|46447|'main^tickets'|''",
                             "1|2|11|1|516|0|0|46448|''|'12,40'",
                             "1|3|10|1|2|0|0|0|''|''",
                         }));
  EXPECT_EQ(catRows(), (std::vector<std::string>{
                           "2|900|0|0|2561|0|4|0",
                           "1|800|0|0|2561|0|4|0",
                           "1|10|46447|46477.25|2561|3|340|0",
                           "1|11|0|0|1|0|4|0",
                       }));

  // The update run: category 11 removed with its entry, event 1 rewritten
  // with a new version and a holiday list, a new event; the rows come in the
  // order the load read them (by event).
  reload();
  cat(11).Status = 0x0008;
  event(2).Status = 0;
  event(1).Version = 3;
  event(1).PubHol = Bsda_AddHolidayList("7");
  Bsda_AddToProfileEventList(4, 10, 0x0004, 1, d + 2, 0, "x");
  Bsda_CommittChanges();
  EXPECT_EQ(eventRows(), (std::vector<std::string>{
                             "2|90|900|3|4|0|0|0|'other'|'1,2'",
                             "1|1|10|3|4|0|46447.5|46447|'main^tickets'|'7'",
                             "1|3|10|1|2|0|0|0|''|''",
                             "1|80|800|1|4|0|0|0|''|''",
                             "1|4|10|1|4|0|0|46449|'x'|''",
                         }));
  EXPECT_EQ(catRows(), (std::vector<std::string>{
                           "2|900|0|0|2561|0|4|0",
                           "1|800|0|0|2561|0|4|0",
                           "1|10|46447|46477.25|2561|3|340|0",
                       }));
}

// Rows an interrupted commit left marked are committed with the new rows; a
// failure while marking them leaves the profile as it was.
TEST_F(Commit, RowsLeftMarkedAreCommittedAndAFailureThereRollsBack) {
  profileCat(10, 4);
  loadProfile();
  profileCat(13, 4, 0x0A01, 0, 1);
  exec("CREATE TRIGGER boom BEFORE UPDATE ON ProfileCatList BEGIN SELECT RAISE(ABORT, 'boom'); END");
  const std::vector<std::string> before = catRows();
  EXPECT_EQ(endsWith([] { Bsda_CommittChanges(); }), "Bsda_UnloadProfileCatList");
  EXPECT_EQ(catRows(), before);
  exec("DROP TRIGGER boom");
  Bsda_CommittChanges();
  EXPECT_EQ(storedCats(), (std::multimap<long, int>{{10, 4}, {13, 4}}));
}

TEST_F(Commit, FirstRunIsWrittenByTheEventHalfOnlyOnAFirstRun) {
  loadProfile();
  Breg_WriteRegSettings("User", "FirstRun", "True");
  Bsda_UnloadProfileCatList();
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "True");
  Bsda_CommittChanges();  // no first-run source: not a first run
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "True");
  screenLink().firstRun = [] { return true; };
  Bsda_UnloadProfileEventList();  // both lists empty
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
}

}  // namespace
}  // namespace pellary
