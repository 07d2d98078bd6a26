#include <gtest/gtest.h>

#include <QDir>

#include <functional>

#include "core/registry.h"
#include "core/scrambler.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "standins/daytimer/daytimer_db.h"
#include "support/fixtures.h"
#include "writers/daytimer/daytimer_writer.h"
#include "writers/pages/frmDayTimersSelect.h"

namespace pellary {
namespace {

namespace dt = standins::daytimer;
using testing::writeFile;

class DayTimerTest : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    dt::registerDayTimerClass();
    dt::writeDatabase(dt::databaseFile("C:\\DT\\Home"), {});
    dt::DatabaseContent office;
    office.noLogin = false;
    office.dbPassword = "db";
    office.users = {{"ann", "a1"}, {"bob", "b2"}};
    dt::writeDatabase(dt::databaseFile("C:\\DT\\Office"), office);
    resetBdt();
    Bdt().commit = [this] { ++commits_; };
    Bdt().nextPage = [this] { ++nextPages_; };
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r);
      return answer_;
    });
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBdt();
    IsolatedEnvTest::TearDown();
  }
  void writeIni(const std::string& body) { writeFile(dt::windowsFolder() / "daytimer.ini", "[LastPaths]\r\n" + body); }
  std::vector<dt::StoredEntry> entries(const char* db) { return dt::readDatabase(dt::databaseFile(db)).entries; }

  int commits_ = 0;
  int nextPages_ = 0;
  int answer_ = mb::Yes;
  std::vector<MessageRequest> messages_;
  MessagePresenter old_;
};

TEST_F(DayTimerTest, RecentListDropsARepeatedName) {
  writeIni("Path0=C:\\DT\r\nDatabaseName0=Home\r\nUserName0=ann\r\nPath1=C:\\Other\r\nDatabaseName1=HOME\r\n");
  auto lists = Bdt_AddFilesToListbox((dt::windowsFolder() / "daytimer.ini").string());
  EXPECT_EQ(lists.rows, (std::vector<std::string>{"Home", kOtherDatabase}));
  EXPECT_EQ(lists.folders, (std::vector<std::string>{"C:\\DT"}));
  EXPECT_EQ(lists.users, (std::vector<std::string>{"ann"}));
  lists = Bdt_AddFilesToListbox((dt::windowsFolder() / "missing.ini").string());
  EXPECT_EQ(lists.rows, (std::vector<std::string>{kOtherDatabase}));
}

TEST_F(DayTimerTest, AddThenDeleteOnlyTheFirstMatch) {
  auto db = std::make_shared<dt::DayTimerDatabase>();
  ASSERT_EQ(db->setCurrentDB("C:\\DT\\Home", "", "", ""), 0);
  const double day = platform::oleFromCivil(2031, 5, 4);  // past the two-digit-year window
  Bdt().writePass = [&] {
    int16_t p = 30;
    RelayEventRecord r;
    r.Title = "Match";
    r.Tel = "555";
    r.StartDate = r.EndDate = day;
    Bdt_WriteToDayTimer(r, p);
    r.Tel.clear();
    r.Memo = "again";
    Bdt_WriteToDayTimer(r, p);
  };
  Bdt_RunWrite(db);
  EXPECT_EQ(commits_, 1);
  EXPECT_EQ(nextPages_, 1);
  auto e = entries("C:\\DT\\Home");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].text, "Match\r\n555\r\n");
  EXPECT_EQ(e[0].start, day);
  Bdt().writePass = [&] {
    int16_t p = 100;
    RelayEventRecord r;
    r.Title = "Match";
    r.StartDate = day;
    Bdt_RemoveFromDayTimer(r, p);
    r.Title = "Nothing";
    Bdt_RemoveFromDayTimer(r, p);  // no match: nothing happens
  };
  Bdt_RunWrite(db);
  e = entries("C:\\DT\\Home");
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].text, "Match\r\nagain\r\n");
}

TEST(DayTimerText, TelephoneOnOneLine) {
  RelayEventRecord r;
  r.Title = "T";
  r.TelCountry = "44";
  r.TelPrefix = "20";
  r.Tel = "123";
  EXPECT_EQ(Bdt_EntryText(r), "T\r\nTel: +44 (20) 123\r\n");
}

TEST_F(DayTimerTest, OpenFailuresShowTheirMessage) {
  struct Fake : platform::automation::TypedDispatch {
    int32_t code;
    explicit Fake(int32_t c) : TypedDispatch(*typeInfoOf()), code(c) {}
    static const platform::automation::InterfaceInfo* typeInfoOf() {
      static dt::DayTimerDatabase db;
      return db.typeInfo();
    }
    Variant invokeMember(const platform::automation::MemberInfo&, platform::automation::CheckedArgs& a) override {
      a.setOut(4, code);
      return {};
    }
  };
  const std::pair<int32_t, const char*> cases[] = {
      {1, "Invalid DB path name"}, {4, "Database busy"}, {6, "Invalid database and/or user password"}, {9, ""}};
  for (auto [code, text] : cases) {
    messages_.clear();
    Fake fake(code);
    EXPECT_FALSE(Bdt_SetCurrentDB(fake, "p", "u", "d", "x"));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, text);
    EXPECT_EQ(messages_[0].style, mb::Critical);
  }
}

TEST_F(DayTimerTest, PageWritesAListedDatabaseAndStoresTheChoice) {
  writeIni("Path0=C:\\DT\r\nDatabaseName0=Home\r\n");
  frmDayTimersSelect page;
  page.Form_Activate();
  ASSERT_EQ(page.lstFiles->count(), 2);
  Bdt().writePass = [] {
    int16_t p = 80;
    RelayEventRecord r;
    r.Title = "Show";
    r.StartDate = r.EndDate = platform::oleFromCivil(2026, 3, 3);
    Bdt_WriteToDayTimer(r, p);
  };
  page.cmdNext_Click();
  EXPECT_EQ(nextPages_, 1);
  EXPECT_EQ(page.pbWritingToDayTimer->value(), 80);
  EXPECT_EQ(entries("C:\\DT\\Home").size(), 1u);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "DTDBName"), "C:\\DT\\Home");
  EXPECT_EQ(Bse_LongCodeDown(Breg_GetRegSetting("Settings", "DTOther")), std::string(1, '\0'));
}

TEST_F(DayTimerTest, PageAsksForTheLoginAndKeepsThePasswordsScrambled) {
  writeIni("Path0=C:\\DT\r\nDatabaseName0=Office\r\n");
  frmDayTimersSelect page;
  page.Form_Activate();
  page.cmdNext_Click();
  ASSERT_EQ(page.step(), 1);
  EXPECT_FALSE(page.fraMultiUserLogin->isHidden());
  EXPECT_EQ(page.cboUserName->count(), 2);
  EXPECT_FALSE(page.cmdNext->isEnabled());  // the database password is due first
  page.cboUserName->setCurrentIndex(1);
  page.txtPassword->setText("b2");
  emit page.txtPassword->editingFinished();
  page.txtDBPassword->setText("db");
  emit page.txtDBPassword->editingFinished();
  EXPECT_TRUE(page.cmdNext->isEnabled());
  bool wrote = false;
  Bdt().writePass = [&] { wrote = true; };
  page.cmdNext_Click();
  EXPECT_TRUE(wrote);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "DTUserName"), "bob");
  const std::string other = Breg_GetRegSetting("Settings", "DTOther");
  EXPECT_EQ(other.find("b2"), std::string::npos);
  EXPECT_EQ(Bse_LongCodeDown(other), std::string("b2") + '\0' + "db");
}

TEST_F(DayTimerTest, WrongPasswordStaysOnThePage) {
  writeIni("Path0=C:\\DT\r\nDatabaseName0=Office\r\n");
  frmDayTimersSelect page;
  page.Form_Activate();
  page.cmdNext_Click();
  page.txtPassword->setText("nope");
  emit page.txtPassword->editingFinished();
  page.txtDBPassword->setText("db");
  emit page.txtDBPassword->editingFinished();
  Bdt().writePass = [] { FAIL() << "nothing may be written"; };
  page.cmdNext_Click();
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back().text, "Invalid password");
  EXPECT_EQ(page.step(), 1);
  EXPECT_EQ(nextPages_, 0);
}

TEST_F(DayTimerTest, NoToTheQuestionLeavesThePage) {
  writeIni("Path0=C:\\DT\r\nDatabaseName0=Home\r\n");
  answer_ = mb::No;
  frmDayTimersSelect page;
  page.Form_Activate();
  page.cmdNext_Click();
  EXPECT_EQ(nextPages_, 0);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "DTDBName"), "");
}

TEST_F(DayTimerTest, UnlistedDatabaseThroughTheFileBoxes) {
  writeIni("");
  frmDayTimersSelect page;
  page.Form_Activate();
  ASSERT_EQ(page.lstFiles->count(), 1);
  page.cmdNext_Click();
  EXPECT_EQ(page.step(), 1);
  EXPECT_FALSE(page.fraSelectDatabaseFile->isHidden());
  page.dirDatabase->setText(QString::fromStdString(dt::databaseFile("C:\\DT\\Home").parent_path().string()));
  page.dirDatabase_Change();
  EXPECT_EQ(page.filDatabase->count(), 2);
  EXPECT_TRUE(page.cmdNext->isEnabled());
  page.cmdNext_Click();  // Home.bfl is first: no login needed
  EXPECT_EQ(nextPages_, 1);
  const std::string stored = Breg_GetRegSetting("Settings", "DTDBName");
  EXPECT_EQ(stored.substr(stored.size() - 5), "/Home");  // ".bfl" cut off
}

// One title beginning another on the same day: each delete takes its own.
TEST_F(DayTimerTest, DeleteTakesOnlyTheEntryOfThatTitle) {
  auto db = std::make_shared<dt::DayTimerDatabase>();
  ASSERT_EQ(db->setCurrentDB("C:\\DT\\Home", "", "", ""), 0);
  const double day = platform::oleFromCivil(2027, 6, 1);
  auto run = [&](std::function<void(RelayEventRecord&, int16_t&)> step, std::vector<std::string> titles) {
    Bdt().writePass = [&] {
      for (const std::string& t : titles) {
        int16_t p = 50;
        RelayEventRecord r;
        r.Title = t;
        r.StartDate = r.EndDate = day;
        step(r, p);
      }
    };
    Bdt_RunWrite(db);
  };
  auto add = [](RelayEventRecord& r, int16_t& p) { Bdt_WriteToDayTimer(r, p); };
  auto remove = [](RelayEventRecord& r, int16_t& p) { Bdt_RemoveFromDayTimer(r, p); };
  run(add, {"Concert Extra", "Concert", "Concert"});
  run(remove, {"Concert"});
  std::vector<std::string> left;
  for (const auto& e : entries("C:\\DT\\Home")) left.push_back(e.text);
  EXPECT_EQ(left, (std::vector<std::string>{"Concert Extra\r\n", "Concert\r\n"}));
  run(remove, {"Concert", "Concert"});  // the second finds nothing
  left.clear();
  for (const auto& e : entries("C:\\DT\\Home")) left.push_back(e.text);
  EXPECT_EQ(left, (std::vector<std::string>{"Concert Extra\r\n"}));
}

// Passwords typed and Next pressed at once (access key or Enter, with no
// finished edit in between) are the ones used.
TEST_F(DayTimerTest, PasswordsAreReadWhenNextIsPressed) {
  writeIni("Path0=C:\\DT\r\nDatabaseName0=Office\r\n");
  frmDayTimersSelect page;
  page.Form_Activate();
  page.cmdNext_Click();
  ASSERT_EQ(page.step(), 1);
  page.cboUserName->setCurrentIndex(0);
  page.txtPassword->setText("a1");
  page.txtDBPassword->setText("db");
  bool wrote = false;
  Bdt().writePass = [&] { wrote = true; };
  page.cmdNext_Click();
  EXPECT_TRUE(wrote);
  for (const auto& m : messages_)
    if (m.style == mb::Critical) ADD_FAILURE() << m.text;
}

TEST_F(DayTimerTest, DriveBoxListsTheMountPoints) {
  frmDayTimersSelect page;
  EXPECT_NE(page.drvDatabase->findText(QDir::rootPath()), -1);
  page.dirDatabase->setText(QDir::rootPath());
  // A drive that went away between listing and choosing.
  const QString gone = QString::fromStdString((root() / "unplugged").string());
  page.drvDatabase->addItem(gone);
  page.drvDatabase->setCurrentText(gone);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Device not Ready");
  EXPECT_EQ(messages_[0].style, mb::Exclamation);
  EXPECT_EQ(page.drvDatabase->currentText(), QDir::rootPath());
  EXPECT_EQ(page.dirDatabase->text(), QDir::rootPath());
}

TEST_F(DayTimerTest, WriterErrorsEndTheProgram) {
  RelayEventRecord r;
  int16_t p = 0;
  EXPECT_THROW(Bdt_WriteToDayTimer(r, p), ProgramEnded);  // no database set
}

}  // namespace
}  // namespace pellary
