#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "standins/notes/notes_control.h"
#include "support/fixtures.h"

namespace pellary::standins::notes {
namespace {

class NotesControlTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    registerNotesClass();
    writeDatabase(databasePath("", "mail\\me.nsf"), {"pw", {}});
    writeDatabase(databasePath("Hub", "mail\\me.nsf"), {"", {}});
    ctl_ = automation::createObject(kControlClass);
  }
  std::string logOn(const std::string& server, const std::string& file, const std::string& pw) {
    Variant s = server;
    DispatchArgs a{ByRef(s), file, pw};
    ctl_->callRef(3, a);
    DispatchArgs none;
    return ctl_->invoke(5, none, automation::InvokeKind::PropertyGet).toString();
  }
  std::shared_ptr<Dispatch> ctl_;
};

TEST_F(NotesControlTest, StatusOfTheLogon) {
  EXPECT_EQ(logOn("", "mail\\me.nsf", "pw"), kLoggedOn);
  EXPECT_EQ(logOn("", "MAIL\\ME.NSF", "pw"), kLoggedOn);  // names found without regard to case
  EXPECT_EQ(logOn("Hub", "mail\\me.nsf", ""), kLoggedOn);
  EXPECT_EQ(logOn("", "mail\\me.nsf", "PW").substr(0, 3), "2$$");
  EXPECT_EQ(logOn("", "mail\\none.nsf", "pw").substr(0, 3), "1$$");
  EXPECT_EQ(logOn("Gone", "mail\\me.nsf", "").substr(0, 3), "3$$");
}

TEST_F(NotesControlTest, AddAndDeleteByTitleAndDay) {
  ASSERT_EQ(logOn("", "mail\\me.nsf", "pw"), kLoggedOn);
  const auto add = [&](const std::string& title, int day) {
    Variant t = title, n = "note", sy = 2026, sm = 1, sd = day, ey = 2026, em = 1, ed = day;
    DispatchArgs a{ByRef(t), ByRef(n), ByRef(sy), ByRef(sm), ByRef(sd), ByRef(ey), ByRef(em), ByRef(ed)};
    ctl_->callRef(0x60020006, a);
  };
  add("A", 1);
  add("A", 2);
  Variant t = "A", y = 2026, m = 1, d = 2;
  DispatchArgs del{ByRef(t), ByRef(y), ByRef(m), ByRef(d)};
  ctl_->callRef(6, del);
  ctl_->call(4);
  auto entries = readDatabase(databasePath("", "mail\\me.nsf")).entries;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].startDay, 1);
  EXPECT_NE(pellary::testing::errorOf([&] { add("after logoff", 3); }), 0);
}

TEST_F(NotesControlTest, EachChangeIsKeptAtOnceAndAMostlyDeletedFileIsWrittenAnew) {
  const fs::path file = databasePath("", "mail\\me.nsf");
  auto add = [&](const std::string& title, const std::string& note, int day) {
    Variant t = title, n = note, sy = 2026, sm = 1, sd = day, ey = 2026, em = 1, ed = day;
    DispatchArgs a{ByRef(t), ByRef(n), ByRef(sy), ByRef(sm), ByRef(sd), ByRef(ey), ByRef(em), ByRef(ed)};
    ctl_->callRef(0x60020006, a);
  };
  auto remove = [&](const std::string& title, int day) {
    Variant t = title, y = 2026, m = 1, d = day;
    DispatchArgs a{ByRef(t), ByRef(y), ByRef(m), ByRef(d)};
    ctl_->callRef(6, a);
  };
  auto notes = [&] {
    std::vector<std::string> out;
    for (const auto& e : readDatabase(file).entries) out.push_back(e.title + "/" + e.note);
    return out;
  };
  ASSERT_EQ(logOn("", "mail\\me.nsf", "pw"), kLoggedOn);
  add("A", "first", 1);
  add("A", "second", 1);
  add("B", "only", 2);
  remove("A", 1);
  // Still logged on: what was saved is in the file.
  EXPECT_EQ(notes(), (std::vector<std::string>{"A/second", "B/only"}));
  ASSERT_EQ(logOn("", "mail\\me.nsf", "pw"), kLoggedOn);
  remove("A", 1);
  remove("A", 1);  // none left: nothing happens
  EXPECT_EQ(notes(), (std::vector<std::string>{"B/only"}));
  remove("B", 2);
  ctl_->call(4);
  // Three deleted entries and none live: the next logon writes the file anew.
  ASSERT_EQ(logOn("", "mail\\me.nsf", "pw"), kLoggedOn);
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "NOTESDB 1\npassword\tpw\n");
  add("C", "after", 3);
  EXPECT_EQ(notes(), (std::vector<std::string>{"C/after"}));
}

}  // namespace
}  // namespace pellary::standins::notes
