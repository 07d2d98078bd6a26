#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "standins/daytimer/daytimer_db.h"
#include "support/fixtures.h"

namespace pellary::standins::daytimer {
namespace {

class DayTimerDbTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    DatabaseContent c;
    c.noLogin = false;
    c.dbPassword = "db";
    c.users = {{"ann", "a1"}};
    writeDatabase(databaseFile("C:\\DT\\Team.bfl"), c);
  }
  DayTimerDatabase db_;
};

TEST_F(DayTimerDbTest, SetCurrentDbByNameGivesTheResultCode) {
  registerDayTimerClass();
  auto obj = automation::createObject(kDatabaseClass);
  struct Case {
    const char* path;
    const char* user;
    const char* dbPw;
    const char* userPw;
    int32_t code;
  };
  const Case cases[] = {{"C:\\DT\\Team", "ann", "db", "a1", result::Ok},
                        {"C:\\DT\\TEAM.BFL", "ann", "db", "a1", result::Ok},
                        {"C:\\DT\\None", "ann", "db", "a1", result::InvalidPath},
                        {"C:\\DT\\Team", "bob", "db", "a1", result::InvalidUser},
                        {"C:\\DT\\Team", "ann", "db", "x", result::InvalidPassword},
                        {"C:\\DT\\Team", "ann", "x", "a1", result::InvalidDbPassword}};
  for (const auto& c : cases) {
    Variant code = int32_t(-1);
    DispatchArgs args{c.path, c.user, c.dbPw, c.userPw, ByRef(code)};
    obj->callRef("setCurrentDB", args);
    EXPECT_EQ(code.toLong(), c.code) << c.path << " " << c.user;
  }
}

TEST_F(DayTimerDbTest, InfoTellsTheLoginNeeds) {
  auto info = db_.databaseInfo("C:\\DT\\Team");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->noLoginFlag(), 0);
  EXPECT_NE(info->dbPasswordFlag(), 0);
  EXPECT_EQ(info->userCount(), 1);
  EXPECT_EQ(info->userName(0), "ann");
  EXPECT_FALSE(db_.databaseInfo("C:\\DT\\None"));
}

TEST_F(DayTimerDbTest, StoreSelectDelete) {
  ASSERT_EQ(db_.setCurrentDB("C:\\DT\\Team", "ann", "db", "a1"), 0);
  std::string out;
  int32_t unused = 0;
  for (const char* text : {"Show\r\nfirst", "show\r\nsecond", "Other"}) {
    auto e = db_.newEntry();
    e->setDates(46000, 46000, unused);
    e->setText(text);
    e->store(out);
  }
  auto q = db_.newSearch();
  q->select(46000.5, "Show*", unused);
  ASSERT_EQ(q->count(), 2);
  q->remove(q->item(0)->key(), unused);
  auto left = readDatabase(databaseFile("C:\\DT\\Team")).entries;
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].text, "show\r\nsecond");
  q->select(46001, "Show*", unused);
  EXPECT_EQ(q->count(), 0);
}

TEST_F(DayTimerDbTest, NothingWorksBeforeAnOpen) {
  std::string out;
  auto e = db_.newEntry();
  EXPECT_EQ(pellary::testing::errorOf([&] { e->store(out); }), automation::errors::ObjectNotSet);
}

TEST_F(DayTimerDbTest, EachChangeIsKeptAtOnceAndAMostlyDeletedFileIsWrittenAnew) {
  const fs::path file = databaseFile("C:\\DT\\Team");
  ASSERT_EQ(db_.setCurrentDB("C:\\DT\\Team", "ann", "db", "a1"), 0);
  std::string key;
  int32_t unused = 0;
  auto store = [&](DayTimerDatabase& db, const char* text, double day) {
    auto e = db.newEntry();
    e->setDates(day, day, unused);
    e->setText(text);
    e->store(key);
    return key;
  };
  auto texts = [&] {
    std::vector<std::string> out;
    for (const auto& e : readDatabase(file).entries) out.push_back(e.key + ":" + e.text);
    return out;
  };
  store(db_, "One", 46000);
  store(db_, "Two", 46000);
  store(db_, "Three", 46001);
  auto q = db_.newSearch();
  q->select(46000, "One*", unused);
  ASSERT_EQ(q->count(), 1);
  q->remove(q->item(0)->key(), unused);
  // Still open: what was stored and deleted is in the file.
  EXPECT_EQ(texts(), (std::vector<std::string>{"2:Two", "3:Three"}));

  DayTimerDatabase again;
  ASSERT_EQ(again.setCurrentDB("C:\\DT\\Team", "ann", "db", "a1"), 0);
  auto q2 = again.newSearch();
  q2->select(46000, "T*", unused);
  ASSERT_EQ(q2->count(), 1);
  EXPECT_EQ(q2->item(0)->key(), "2");
  q2->remove("2", unused);
  q2->select(46001, "Three*", unused);
  q2->remove(q2->item(0)->key(), unused);
  EXPECT_EQ(store(again, "Four", 46002), "4");
  EXPECT_EQ(texts(), (std::vector<std::string>{"4:Four"}));

  // Three deleted entries and one live: the next open writes the file anew.
  DayTimerDatabase third;
  ASSERT_EQ(third.setCurrentDB("C:\\DT\\Team", "ann", "db", "a1"), 0);
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("deleted"), std::string::npos);
  EXPECT_EQ(texts(), (std::vector<std::string>{"4:Four"}));
}

}  // namespace
}  // namespace pellary::standins::daytimer
