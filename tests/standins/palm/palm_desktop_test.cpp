#include "standins/palm/palm_desktop.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/automation/class_registry.h"
#include "platform/settings/settings_tree.h"
#include "platform/variant.h"
#include "support/fixtures.h"

namespace pellary::standins::palm {

using namespace pellary::platform;
namespace {

using automation::createObject;
using testing::writeFile;

class PalmDesktopTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    installDesktop();
    registerPalmControls();
  }
};

// One exchange record as the Date Book writer lays it out.
std::string rec(char action, const std::string& title, const std::string& text, int d, int m, int y, int ed, int em,
                int ey) {
  auto i16 = [](std::string& s, int v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  };
  std::string s(1, action);
  i16(s, static_cast<int>(title.size()));
  s += title;
  i16(s, static_cast<int>(text.size()));
  s += text;
  s.append(4, '\0');
  for (int v : {d, m, y, ed, em, ey}) i16(s, v);
  return s;
}

TEST_F(PalmDesktopTest, InstallWritesTheDesktopKeys) {
  EXPECT_EQ(settings::readValue(settings::Root::CurrentUser, kCoreKey, "Path"), desktopFolder().string());
  auto hotsync = settings::readValue(settings::Root::CurrentUser, kCoreKey, "HotSyncPath");
  ASSERT_TRUE(hotsync);
  EXPECT_TRUE(fs::exists(*hotsync));
}

TEST_F(PalmDesktopTest, UsersPersistAndGetFoldersOfTheirOwn) {
  PalmUser ann = addUser("Ann Smith");
  PalmUser shared = addUser("Ann  Smith", true);
  EXPECT_EQ(ann.id, 1);
  EXPECT_EQ(shared.id, 2);
  EXPECT_EQ(ann.folder, "AnnSmith");
  EXPECT_EQ(shared.folder, "AnnSmith2");
  EXPECT_TRUE(fs::exists(datebookFile(ann)));
  auto again = users();  // read back from the files
  ASSERT_EQ(again.size(), 2u);
  EXPECT_TRUE(again[1].profile);
  EXPECT_EQ(again[1].name, "Ann  Smith");
  EXPECT_FALSE(findUser(7));
  EXPECT_NE(pellary::testing::errorOf([] { addUser("X", false, 1); }), 0);
}

TEST_F(PalmDesktopTest, ControlsAnswerByDispatchNumber) {
  addUser("Ann");
  addUser("Work", true, 40);
  auto manager = createObject(kUserManagerClass);
  auto data = createObject(kUserDataClass);
  EXPECT_EQ(manager->call(1).toLong(), 2);
  EXPECT_EQ(manager->call(5, {int32_t(1)}).toLong(), 40);
  EXPECT_NE(pellary::testing::errorOf([&] { manager->call(5, {int32_t(2)}); }), 0);

  EXPECT_EQ(data->call(6, {"x"}).toLong(), status::NoUserSelected);
  Variant id = int32_t(40);
  EXPECT_EQ(data->call(14, {ByRef(id)}).toLong(), status::Ok);
  EXPECT_EQ(data->call(1).toString(), "Work");
  EXPECT_EQ(data->call(2).toString(), "Work");
  EXPECT_TRUE(data->call(4).toBool());
  // An unknown user keeps the earlier selection and says so.
  EXPECT_EQ(data->call(14, {int32_t(99)}).toLong(), status::NoSuchUser);

  fs::path prc = root() / "Viewer.prc";
  writeFile(prc, "prc");
  EXPECT_EQ(data->call(6, {prc.string()}).toLong(), status::Ok);
  EXPECT_EQ(data->call(6, {prc.string()}).toLong(), status::AlreadyQueued);
  EXPECT_EQ(data->call(6, {(root() / "none.prc").string()}).toLong(), status::FileNotFound);
  EXPECT_EQ(installQueue(40), std::vector<std::string>{"Viewer.prc"});
  EXPECT_TRUE(installQueue(1).empty());
}

TEST_F(PalmDesktopTest, HotSyncStopsAndRestartsWhenItCan) {
  auto api = createObject(kHotSyncApiClass);
  EXPECT_EQ(api->call(16).toLong(), status::Ok);
  EXPECT_EQ(api->call(16).toLong(), status::NotRunning);
  HotSyncState s = hotSyncState();
  s.restartable = false;
  setHotSyncState(s);
  Variant started = true;
  EXPECT_EQ(api->call(15, {ByRef(started)}).toLong(), status::Ok);
  EXPECT_FALSE(started.toBool());
  EXPECT_FALSE(hotSyncState().running);
  recordToolStart("/p/Palm/RestartHS.exe", "", "/p");
  EXPECT_TRUE(hotSyncState().running);
  ASSERT_EQ(toolStarts().size(), 1u);
  EXPECT_EQ(toolStarts()[0].program, "/p/Palm/RestartHS.exe");
}

TEST_F(PalmDesktopTest, ConduitAddsThenDeletesByTitleAndStartDay) {
  PalmUser ann = addUser("Ann");
  fs::path exchange = root() / "DateFile.kest";
  // Windows-1252 title byte 0xE9 is "é".
  writeFile(exchange,
            rec('a', "Fair", "Note.", 3, 5, 2001, 4, 5, 2001) + rec('a', "Caf\xE9", "", 9, 6, 2001, 9, 6, 2001));
  std::string datebook = desktopFolder().string() + "\\ann\\DATEBOOK\\Datebook.dat";  // any letter case
  EXPECT_EQ(MyOpenConduit(datebook.c_str(), exchange.string().c_str()), 2);
  auto entries = readDatebook(datebookFile(ann));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (DatebookEntry{3, 5, 2001, 4, 5, 2001, "Fair", "Note."}));
  EXPECT_EQ(entries[1].title, "Café");

  // A delete carries the zero date as its end; an unmatched delete is passed over.
  writeFile(exchange, rec('d', "Fair", "", 3, 5, 2001, 30, 12, 1899) + rec('d', "Fair", "", 3, 5, 2002, 30, 12, 1899));
  EXPECT_EQ(MyOpenConduit(datebook.c_str(), exchange.string().c_str()), 1);
  entries = readDatebook(datebookFile(ann));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].title, "Café");
}

TEST_F(PalmDesktopTest, ConduitDeletesTheFirstMatchAlsoOfEntriesAddedInTheSameFile) {
  PalmUser ann = addUser("Ann");
  fs::path exchange = root() / "DateFile.kest";
  writeFile(exchange,
            rec('a', "Gig", "first", 3, 5, 2001, 3, 5, 2001) + rec('a', "Gig", "other day", 4, 5, 2001, 4, 5, 2001));
  ASSERT_EQ(MyOpenConduit(datebookFile(ann).string().c_str(), exchange.string().c_str()), 2);
  writeFile(exchange,
            rec('a', "Gig", "second", 3, 5, 2001, 3, 5, 2001) + rec('d', "Gig", "", 3, 5, 2001, 30, 12, 1899) +
                rec('a', "Gig", "third", 3, 5, 2001, 3, 5, 2001) + rec('d', "Gig", "", 3, 5, 2001, 30, 12, 1899));
  EXPECT_EQ(MyOpenConduit(datebookFile(ann).string().c_str(), exchange.string().c_str()), 4);
  std::vector<std::string> notes;
  for (const auto& e : readDatebook(datebookFile(ann))) notes.push_back(e.note);
  EXPECT_EQ(notes, (std::vector<std::string>{"other day", "third"}));
}

TEST_F(PalmDesktopTest, DamagedExchangeFileChangesNothing) {
  PalmUser ann = addUser("Ann");
  fs::path exchange = root() / "x.kest";
  std::string good = rec('a', "One", "", 1, 1, 2001, 1, 1, 2001);
  for (const std::string& bad : {good + "a\x05", good + "q", good.substr(0, good.size() - 1)}) {
    writeFile(exchange, bad);
    EXPECT_EQ(MyOpenConduit(datebookFile(ann).string().c_str(), exchange.string().c_str()), -1);
    EXPECT_TRUE(readDatebook(datebookFile(ann)).empty());
  }
  EXPECT_EQ(MyOpenConduit("", exchange.string().c_str()), -1);
  // An empty exchange file is a pass with nothing to do; a missing Date Book is created.
  writeFile(exchange, "");
  fs::path fresh = root() / "new" / "Datebook.dat";
  EXPECT_EQ(MyOpenConduit(fresh.string().c_str(), exchange.string().c_str()), 0);
  EXPECT_TRUE(fs::exists(fresh));
}

TEST_F(PalmDesktopTest, DatebookKeepsAnyTextOnOneLine) {
  fs::path file = root() / "db.dat";
  std::vector<DatebookEntry> in{{1, 2, 2003, 1, 2, 2003, "a\tb", "line1\r\nline2 \\ end"}};
  writeDatebook(file, in);
  EXPECT_EQ(readDatebook(file), in);
  writeFile(file, "something else\n");
  EXPECT_NE(pellary::testing::errorOf([&] { readDatebook(file); }), 0);
}

}  // namespace
}  // namespace pellary::standins::palm
