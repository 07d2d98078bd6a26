#include <gtest/gtest.h>

#include "tests/update/cue/cue_fixture.h"
#include "update/cue/cue_loaders.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;

class UpdateLoaders : public testing::CueTest {};

TEST_F(UpdateLoaders, DuplicateKeyOverwritesOnlyTheFilesColumns) {
  db().execute(
      "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, Priorities_Valid, CatSettings, Status, "
      "TimeStamp) VALUES (1, 2, 3, 4, 500, 'Old', 0, 0, 1, 77)");
  cueFile("Tertiary.cue", "1,2,3,4,501,\"New name\",5,0\r\n1,2,3,5,600,\"Other\",1,1\r\n1,2,3,5,600,\"Later\",2,1\r\n");
  Bcue_LoadNewTertiary();
  EXPECT_EQ(rows("SELECT CatID, TertiaryName, Priorities_Valid, CatSettings, Status, TimeStamp FROM Tertiary "
                 "ORDER BY TID"),
            (std::vector<std::string>{"501|New name|5|5|0|77", "600|Later|2|2|1|0"}));
  EXPECT_FALSE(inCue("Tertiary.cue"));

  // A second load of the same file changes nothing more.
  cueFile("Tertiary.cue", "1,2,3,4,501,\"New name\",5,0\r\n");
  Bcue_LoadNewTertiary();
  EXPECT_EQ(count("SELECT * FROM Tertiary"), 2);
}

TEST_F(UpdateLoaders, StatusRevivesAndRetiresButNeverDeletes) {
  db().execute("INSERT INTO EventCat (CatID, EventID, Status) VALUES (10, 1, 0), (10, 2, 1)");
  cueFile("EVENTCAT.cue", "10,1,1\r\n10,2,0\r\n");
  Bcue_LoadNewLinkItems();
  EXPECT_EQ(rows("SELECT EventID, Status FROM EventCat ORDER BY EventID"), (std::vector<std::string>{"1|1", "2|0"}));
}

TEST_F(UpdateLoaders, EveryTableFileLandsInItsColumns) {
  cueFile("Primary.cue", "1,10,\"Holidays\",1\r\n");
  cueFile("Secondary.cue", "1,10,2,\"Europe\",1\r\n");
  cueFile("RETEMPLATE.cue", "1,15,\"Rules\",1,3,900\r\n");
  cueFile("RESTRUCTURE.cue", "1,1,15,1,500");  // no final line end
  Bcue_LoadNewPrimary();
  Bcue_LoadNewSecondary();
  Bcue_LoadNewRETemplate();
  Bcue_LoadNewREStructure();
  EXPECT_EQ(rows("SELECT ProductID, PID, PrimaryName, Status FROM Primary"),
            (std::vector<std::string>{"1|10|Holidays|1"}));
  EXPECT_EQ(rows("SELECT ProductID, PID, SID, SecondaryName, Status FROM Secondary"),
            (std::vector<std::string>{"1|10|2|Europe|1"}));
  EXPECT_EQ(rows("SELECT Product_Id, Template_Id, Name, Status, Platforms, TimeStamp FROM RETemplate"),
            (std::vector<std::string>{"1|15|Rules|1|3|900"}));
  EXPECT_EQ(rows("SELECT Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status, TimeStamp FROM REStructure"),
            (std::vector<std::string>{"1|1|15|1|500"}));
  for (const char* f : {"Primary.cue", "Secondary.cue", "RETEMPLATE.cue", "RESTRUCTURE.cue"})
    EXPECT_FALSE(inCue(f)) << f;
}

TEST_F(UpdateLoaders, FileNamesMatchWithoutRegardToCase) {
  cueFile("PRIMARY.CUE", "1,10,\"Holidays\",1\r\n");
  Bcue_LoadNewPrimary();
  EXPECT_EQ(count("SELECT * FROM Primary"), 1);
  EXPECT_FALSE(inCue("PRIMARY.CUE"));
}

TEST_F(UpdateLoaders, CueFolderOfOtherLetterCaseIsFound) {
  fs::rename(home() / "CUE", home() / "cue");
  testing::writeFile(home() / "cue" / "primary.cue", "1,10,\"Holidays\",1\r\n");
  Bcue_LoadNewPrimary();
  EXPECT_EQ(count("SELECT * FROM Primary"), 1);
  EXPECT_FALSE(fs::exists(home() / "cue" / "primary.cue"));
}

TEST_F(UpdateLoaders, EmptyFileIsDeletedMissingFileIsNoError) {
  cueFile("Primary.cue", "");
  Bcue_LoadNewPrimary();
  Bcue_LoadNewSecondary();
  EXPECT_FALSE(inCue("Primary.cue"));
  EXPECT_TRUE(reported.empty());
}

TEST_F(UpdateLoaders, BadFileLeavesDatabankAsItWasAndStays) {
  db().execute("INSERT INTO Primary (ProductID, PID, PrimaryName, Status) VALUES (1, 10, 'Kept', 1)");
  cueFile("Primary.cue", "1,10,\"Changed\",1\r\n1,11,\"New\",1\r\n1,12,\"Bad\",70000\r\n");
  EXPECT_TRUE(ends([] { Bcue_LoadNewPrimary(); }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].location, "Bcue_LoadNewPrimary");
  EXPECT_EQ(reported[0].number, err::Overflow);
  EXPECT_NE(reported[0].description.find("record 3"), std::string::npos) << reported[0].description;
  EXPECT_EQ(rows("SELECT PID, PrimaryName FROM Primary"), (std::vector<std::string>{"10|Kept"}));
  EXPECT_TRUE(inCue("Primary.cue"));
}

TEST_F(UpdateLoaders, InsideAnOuterTransactionTheFilesRowsJoinIt) {
  db().beginTrans();
  cueFile("Primary.cue", "1,10,\"A\",1\r\n");
  Bcue_LoadNewPrimary();
  db().rollback();
  EXPECT_EQ(count("SELECT * FROM Primary"), 0);
}

TEST_F(UpdateLoaders, DeferredDeletesFollowTheOuterTransaction) {
  Bcue_Engine().deferDeletes = true;
  cueFile("Primary.cue", "1,10,\"A\",1\r\n");
  db().beginTrans();
  Bcue_LoadNewPrimary();
  db().rollback();
  cue::keepLoadedFiles();
  EXPECT_TRUE(inCue("Primary.cue")) << "still there to load again";

  db().beginTrans();
  Bcue_LoadNewPrimary();
  EXPECT_TRUE(inCue("Primary.cue"));
  db().commitTrans();
  cue::deleteLoadedFiles();
  Bcue_Engine().deferDeletes = false;
  EXPECT_FALSE(inCue("Primary.cue"));
  EXPECT_EQ(count("SELECT * FROM Primary"), 1);
}

TEST_F(UpdateLoaders, ActionTableSizedByRowsAndHighestCode) {
  Bcue_LoadActiveEventIDs();
  const auto& table = Bcue_Engine().Bcue_ActionTable;
  ASSERT_EQ(table.size(), 6u);  // four shipped codes: entries 0 to 5
  EXPECT_EQ(table[0].PeckingNumber, 0);
  EXPECT_EQ(table[4].PeckingNumber, 4);
  EXPECT_EQ(table[5].ActionName, "");

  db().execute("INSERT INTO Action (ActionID, ActionName, PeckingNumber) VALUES (40, 'Moved venue', 9)");
  Bcue_LoadActiveEventIDs();
  ASSERT_GE(table.size(), 41u);
  EXPECT_EQ(table[40].PeckingNumber, 9);
}

class EventsMerge : public testing::CueTest {
 protected:
  void SetUp() override {
    CueTest::SetUp();
    db().execute("DELETE FROM Action");
    db().execute(
        "INSERT INTO Action (ActionID, ActionName, PeckingNumber) VALUES (1, 'a', 3), (2, 'b', 7), (3, 'c', 5)");
  }
  void addEvent(int id, int version, int status, const char* title = "Old") {
    db().execute("INSERT INTO Event (EventID, Title, Version, Status) VALUES (" + std::to_string(id) + ", '" + title +
                 "', " + std::to_string(version) + ", " + std::to_string(status) + ")");
  }
  static std::string record(int id, int version, const std::string& title = "T", const std::string& actions = "0",
                            const std::string& memo = "m", int onSale = 0) {
    return std::to_string(id) + ",\"" + title + "\",\"" + memo + "\",\"" + memo + "\",0,86400," +
           std::to_string(onSale) + ",\"http://e\",\" 44 \",\" 20 \",\" 7946 0000 \",2," + std::to_string(version) +
           "," + actions + "\r\n";
  }
  void merge() {
    Bcue_LoadActiveEventIDs();
    Bcue_MergeInEvents();
  }
};

TEST_F(EventsMerge, NewerRetiresEveryActiveRowStaleAndEqualAreSkipped) {
  addEvent(1, 2, 1);
  addEvent(1, 2, 1);  // two active rows of one event
  addEvent(2, 5, 1);
  addEvent(3, 5, 1);
  addEvent(4, 9, 0);  // all retired: counts as no active version
  cueFile("events.kest", record(1, 3, "Newer") + record(2, 4, "Older") + record(3, 5, "Same") + record(4, 1, "Back"));
  merge();
  EXPECT_EQ(rows("SELECT EventID, Version, Title, Status FROM Event ORDER BY EventID, Status, Version"),
            (std::vector<std::string>{"1|2|Old|0", "1|2|Old|0", "1|3|Newer|1", "2|5|Old|1", "3|5|Old|1", "4|9|Old|0",
                                      "4|1|Back|1"}));
  EXPECT_FALSE(inCue("events.kest"));
}

TEST_F(EventsMerge, LaterRecordOfOneEventEndsAsTheOnlyActiveRow) {
  addEvent(1, 1, 1);
  cueFile("events.kest", record(1, 5, "First") + record(1, 3, "Second") + record(2, 1, "A") + record(2, 1, "B"));
  merge();
  EXPECT_EQ(rows("SELECT EventID, Title FROM Event WHERE Status = 1 ORDER BY EventID"),
            (std::vector<std::string>{"1|Second", "2|B"}));
}

TEST_F(EventsMerge, ActionIsTheHighestPeckingNumber) {
  cueFile("events.kest", record(1, 1, "T", "3,1,2,3") + record(2, 1, "T", "0") + record(3, 1, "T", "1,1"));
  merge();
  EXPECT_EQ(rows("SELECT EventID, Action FROM Event ORDER BY EventID"),
            (std::vector<std::string>{"1|7", "2|0", "3|3"}));
}

TEST_F(EventsMerge, UnknownActionCodeIsAnErrorAndChangesNothing) {
  cueFile("events.kest", record(1, 1) + record(2, 1, "T", "1,99"));
  Bcue_LoadActiveEventIDs();
  EXPECT_TRUE(ends([] { Bcue_MergeInEvents(); }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].location, "Bcue_MergeInEvents");
  EXPECT_NE(reported[0].description.find("record 2"), std::string::npos) << reported[0].description;
  EXPECT_EQ(count("SELECT * FROM Event"), 0);
  EXPECT_TRUE(inCue("events.kest"));
}

TEST_F(EventsMerge, TimeCodeZeroIsNewYear1970InEveryTimeZone) {
  const char* zones[] = {"UTC", "America/Los_Angeles", "Asia/Tokyo", "Australia/Adelaide"};
  int id = 1;
  for (const char* tz : zones) {
    setenv("TZ", tz, 1);
    tzset();
    cueFile("events.kest", record(id, 1));
    merge();
    dao::Recordset rs = db().openRecordset("SELECT * FROM Event WHERE EventID = " + std::to_string(id++));
    EXPECT_DOUBLE_EQ(rs["StartDate"].value().toDate(), 25569.0) << tz;
    EXPECT_EQ(rs["StartDate"].value().toString(), "01/01/1970") << tz;
  }
  unsetenv("TZ");
  tzset();
}

TEST_F(EventsMerge, DatesOnSaleTelephoneAndMemos) {
  cueFile("events.kest", record(1, 1, "T", "0", "a|b", 0) + record(2, 1, "T", "0", "x", 172800));
  merge();
  dao::Recordset rs = db().openRecordset("SELECT * FROM Event WHERE EventID = 1");
  EXPECT_TRUE(rs["OnSale"].isNull());
  EXPECT_DOUBLE_EQ(rs["StartDate"].value().toDate(), 25569.0);  // 1 Jan 1970
  EXPECT_DOUBLE_EQ(rs["EndDate"].value().toDate(), 25570.0);
  EXPECT_EQ(rs["TelCountry"].value().toString(), "44");
  EXPECT_EQ(rs["TelPrefix"].value().toString(), "20");
  EXPECT_EQ(rs["Tel"].value().toString(), "7946 0000");
  EXPECT_EQ(rs["Memo"].value().toString(), "a|b");  // the update keeps the bar
  EXPECT_EQ(rs["Status"].value().toInteger(), 1);
  dao::Recordset two = db().openRecordset("SELECT * FROM Event WHERE EventID = 2");
  EXPECT_DOUBLE_EQ(two["OnSale"].value().toDate(), 25571.0);
}

TEST_F(EventsMerge, BlankTelephoneIsStoredEmptyNotNull) {
  std::string line = record(1, 1);
  for (const char* part : {"\" 44 \"", "\" 20 \""}) line.replace(line.find(part), std::string(part).size(), "\"   \"");
  cueFile("events.kest", line);
  merge();
  EXPECT_EQ(rows("SELECT TelCountry, TelPrefix, Tel FROM Event"), (std::vector<std::string>{"||7946 0000"}));
}

}  // namespace
}  // namespace pellary
