#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include "core/update_run.h"

#include "core/gui/password_box.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/scrambler.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/settings/settings_tree.h"
#include "standins/organizer/organizer_control.h"
#include "support/fixtures.h"
#include "writers/organizer/organizer_writer.h"
#include "writers/pages/frmOrgDetails.h"

namespace pellary {
namespace {

namespace org = standins::organizer;
namespace st = platform::settings;

constexpr const char* kFile = "C:\\Organize\\Diary.or5";

class OrganizerTest : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    org::registerOrganizerClass();
    org::OrganizerFile f;
    f.password = "sesame";
    f.sections = {{0, "CAL1", "Calendar"}, {0, "CAL2", "Work"}, {1, "Anniversary", "Birthdays"}, {2, "PLN", "Plan"}};
    org::writeFile(org::filePath(kFile), f);
    resetBorg();
    Borg().commit = [this] { ++commits_; };
    Borg().nextPage = [this] { ++nextPages_; };
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r);
      return mb::OK;
    });
    Bset().Bset_NoProfileCats = true;
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBorg();
    Bset().Bset_NoProfileCats = true;
    IsolatedEnvTest::TearDown();
  }
  std::vector<org::Entry> entries() { return org::readFile(org::filePath(kFile)).entries; }

  int commits_ = 0;
  int nextPages_ = 0;
  std::vector<MessageRequest> messages_;
  MessagePresenter old_;
};

RelayEventRecord event(const std::string& title, int y, int m, int d, int days = 1) {
  RelayEventRecord r;
  r.Title = title;
  r.StartDate = platform::oleFromCivil(y, m, d);
  r.EndDate = r.StartDate + days - 1;
  return r;
}

TEST_F(OrganizerTest, AddThenDeleteThroughTheControl) {
  ASSERT_EQ(Borg_Initialise_Control(4, 0, 14, kFile, "sesame"), 0);
  Breg_WriteRegSettings("Settings", "OrgSection", "CAL2");
  Borg().Borg_DispTime = 14;
  Borg().writePass = [] {
    int16_t p = 50;
    auto r = event("Concert", 2026, 7, 1, 3);
    r.Memo = "Hall";
    Borg_WriteToOrg(r, p);
  };
  Borg_RunWrite();
  EXPECT_EQ(commits_, 1);
  EXPECT_EQ(nextPages_, 1);
  auto e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].section, "CAL2");
  EXPECT_EQ(e[0].hour, 14);
  EXPECT_EQ(e[0].text, "Concert\r\nHall\r\n");
  EXPECT_EQ(e[0].endDay, 3);

  ASSERT_EQ(Borg_Initialise_Control(4, 0, 14, kFile, "sesame"), 0);
  Borg().writePass = [] {
    int16_t p = 100;
    RelayEventRecord r;
    r.Title = "Concert";
    r.StartDate = platform::oleFromCivil(2026, 7, 1);
    Borg_DeleteFromOrg(r, p);
  };
  Borg_RunWrite();
  EXPECT_TRUE(entries().empty());
}

TEST_F(OrganizerTest, AnniversaryKeepsTheStartAsEnd) {
  ASSERT_EQ(Borg_Initialise_Control(0, 1, 9, kFile, "sesame"), 0);
  Breg_WriteRegSettings("Settings", "OrgSection", "Anniversary");
  Borg().writePass = [] {
    int16_t p = 1;
    auto r = event("Fest", 2026, 8, 10, 3);
    Borg_WriteToOrg(r, p);
  };
  Borg_RunWrite();
  auto e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].endDay, 10);
}

TEST_F(OrganizerTest, WrongPasswordIsToldAndClearsTheControl) {
  EXPECT_NE(Borg_Initialise_Control(0, 0, 9, kFile, "wrong"), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].style, mb::Exclamation);
  EXPECT_NE(messages_[0].text.find("could not open your Organizer file"), std::string::npos);
  Bupd_UpdateRun() = true;
  EXPECT_NE(Borg_Initialise_Control(0, 0, 9, "C:\\None.or5", ""), 0);
  Bupd_UpdateRun() = false;
  EXPECT_EQ(messages_.size(), 1u);  // silent in an update run
}

TEST(OrganizerText, EntryTextParts) {
  RelayEventRecord r;
  r.Title = "T";
  r.Tel = "123";
  EXPECT_EQ(Borg_EntryText(r), "T\r\n123\r\n");
  r.TelCountry = "44";
  r.TelPrefix = "20";
  r.URL = "x.org";
  r.OnSale = platform::oleFromCivil(2026, 2, 3);
  r.MemoLong = "L";
  EXPECT_EQ(Borg_EntryText(r),
            "T\r\nTel: +44 (20) 123\r\nWebsite: http://x.org\r\nTickets on sale: 03/02/2026\r\n\r\nL");
}

TEST(OrganizerText, VersionCodes) {
  const std::pair<const char*, int16_t> cases[] = {{"97.0", 0}, {"97.1", 1}, {"98.0", 2}, {"99.0", 3},
                                                   {"99.1", 4}, {"", 0},     {"5.0", 0}};
  for (auto [v, c] : cases) EXPECT_EQ(Borg_VersionCode(v), c) << v;
}

TEST(OrganizerText, DisplayFileName) {
  const std::string p45 = "C:\\" + std::string(42, 'a');
  EXPECT_EQ(Borg_DisplayFileName(p45), p45);
  // 46 characters: first 3, "...", then the last 39 from their first "\".
  const std::string p46 = "C:\\folder\\" + std::string(20, 'b') + "\\" + std::string(15, 'c');
  ASSERT_EQ(p46.size(), 46u);
  EXPECT_EQ(Borg_DisplayFileName(p46), "C:\\...\\" + std::string(20, 'b') + "\\" + std::string(15, 'c'));
  // Without a "\" among the last 39, all 39 are kept.
  const std::string flat = "C:\\" + std::string(50, 'd');
  EXPECT_EQ(Borg_DisplayFileName(flat), "C:\\..." + std::string(39, 'd'));
}

TEST(OrganizerText, ParseSectionsKeepsTen) {
  std::string list;
  for (int i = 0; i < 12; ++i) list += "I" + std::to_string(i) + "\u00FA" + "U" + std::to_string(i) + "\u00FB";
  auto names = Borg_ParseSections("  " + list + "  ");
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names[9], "U9");
  EXPECT_EQ(Borg().Borg_Sections[3].sSectionInternalName, "I3");
  names = Borg_ParseSections("A\u00FAHalf");
  EXPECT_EQ(names, (std::vector<std::string>{"Half"}));
}

TEST_F(OrganizerTest, VersionAndRecentFiles) {
  st::createKey(st::Root::CurrentUser, "Software\\Lotus\\Organizer\\97.0\\Settings");
  st::createKey(st::Root::CurrentUser, "Software\\Lotus\\Organizer\\99.1\\Settings");
  EXPECT_EQ(Borg_ReturnOrganizerVersion(), "99.1");
  const std::string key = "Software\\Lotus\\Organizer\\99.1\\Settings";
  Breg_WriteRegSettings("Settings", "OrgLastFile", "C:\\A.or5");
  st::writeValue(st::Root::CurrentUser, key, "File1", "c:\\a.OR5");
  st::writeValue(st::Root::CurrentUser, key, "File2", "  C:\\B.or5 ");
  for (int n = 3; n <= 12; ++n)
    st::writeValue(st::Root::CurrentUser, key, "File" + std::to_string(n), "F" + std::to_string(n));
  Borg_PutFilesInArray();
  const auto& f = Borg().Borg_RecentFiles;
  EXPECT_EQ(f[0], "C:\\A.or5");
  EXPECT_EQ(f[1], "C:\\B.or5");
  EXPECT_EQ(f[6], "F7");  // seven places, the rest dropped
}

TEST_F(OrganizerTest, PageFirstSetUpWalksBothStepsAndKeepsThePassword) {
  Breg_WriteRegSettings("Settings", "OrgLastFile", kFile);
  frmOrgDetails page;
  page.Form_Activate();
  EXPECT_FALSE(page.cmdNext->isEnabled());
  page.lstFiles->setCurrentRow(0);
  page.lstFiles_Click();
  EXPECT_TRUE(page.cmdNext->isEnabled());
  page.txtPassword->setText("sesame");
  page.chkKeepPassword->setChecked(true);
  page.cmdNext_Click();
  ASSERT_EQ(page.step(), 1);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgUserFile"), kFile);
  const std::string stored = Breg_GetRegSetting("Settings", "OrgPassword");
  EXPECT_NE(stored, "sesame");
  EXPECT_EQ(Bse_LongCodeDown(stored), "sesame");
  EXPECT_EQ(page.lstSections->count(), 2);  // the two Calendar sections
  page.lstSections->setCurrentRow(1);
  page.cboDispTime->setCurrentIndex(3);  // 10:00
  Borg().writePass = [] {
    int16_t p = 70;
    auto r = event("Play", 2026, 9, 9);
    Borg_WriteToOrg(r, p);
  };
  page.cmdNext_Click();
  EXPECT_EQ(page.pbRecords->value(), 70);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgSection"), "CAL2");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgUsrSection"), "Work");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgDispTime"), "10");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgEntType"), "0");
  auto e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].section, "CAL2");
  EXPECT_EQ(e[0].hour, 10);  // the hour picked, not the default

  // The next run deletes at the hour it was written with.
  Bset().Bset_NoProfileCats = false;
  frmOrgDetails again;
  again.Form_Activate();
  Borg().writePass = [] {
    int16_t p = 100;
    auto r = event("Play", 2026, 9, 9);
    Borg_DeleteFromOrg(r, p);
  };
  again.cmdNext_Click();
  EXPECT_TRUE(entries().empty());
}

TEST_F(OrganizerTest, KeyboardChoicesEnableNext) {
  Breg_WriteRegSettings("Settings", "OrgLastFile", kFile);
  frmOrgDetails page;
  page.Form_Activate();
  page.lstFiles->setFocus();
  page.lstFiles->clearSelection();
  EXPECT_FALSE(page.cmdNext->isEnabled());
  QTest::keyClick(page.lstFiles, Qt::Key_Down);
  QTest::keyClick(page.lstFiles, Qt::Key_Space);
  ASSERT_FALSE(page.lstFiles->selectedItems().isEmpty());
  EXPECT_TRUE(page.cmdNext->isEnabled());
  page.txtPassword->setText("sesame");
  page.cmdNext_Click();
  ASSERT_EQ(page.step(), 1);
  page.lstSections->clearSelection();
  page.cmdNext->setEnabled(false);
  QTest::keyClick(page.lstSections, Qt::Key_Down);
  QTest::keyClick(page.lstSections, Qt::Key_Space);
  EXPECT_TRUE(page.cmdNext->isEnabled());
}

// A section type the file lacks is told, and Next waits for another choice.
TEST_F(OrganizerTest, ATypeWithoutASectionKeepsNextDisabled) {
  org::OrganizerFile f;
  f.sections = {{0, "CAL1", "Calendar"}};
  org::writeFile(org::filePath(kFile), f);
  Breg_WriteRegSettings("Settings", "OrgLastFile", kFile);
  frmOrgDetails page;
  page.Form_Activate();
  page.lstFiles->setCurrentRow(0);
  page.cmdNext_Click();
  ASSERT_EQ(page.step(), 1);
  EXPECT_TRUE(messages_.empty());
  page.cboSectionType->setCurrentIndex(1);  // Anniversary
  page.cboSectionType_Click();
  EXPECT_EQ(page.lstSections->count(), 0);
  EXPECT_FALSE(page.cmdNext->isEnabled());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].text.find("no Anniversary section"), std::string::npos) << messages_[0].text;
  page.cboSectionType->setCurrentIndex(0);
  page.cboSectionType_Click();
  EXPECT_TRUE(page.cmdNext->isEnabled());

  // A returning run whose stored type has no section shows the choice again.
  Breg_WriteRegSettings("Settings", "OrgEntType", "1");
  Breg_WriteRegSettings("Settings", "OrgUserFile", kFile);
  Bset().Bset_NoProfileCats = false;
  messages_.clear();
  frmOrgDetails again;
  again.Form_Activate();
  Borg().writePass = [] { FAIL() << "nothing may be written"; };
  again.cmdNext_Click();
  EXPECT_EQ(again.step(), 1);
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_FALSE(again.cmdNext->isEnabled());
}

TEST_F(OrganizerTest, PlannerDisablesTheHour) {
  Breg_WriteRegSettings("Settings", "OrgLastFile", kFile);
  frmOrgDetails page;
  page.Form_Activate();
  page.lstFiles->setCurrentRow(0);
  page.txtPassword->setText("sesame");
  page.cmdNext_Click();
  page.cboSectionType->setCurrentIndex(2);
  page.cboSectionType_Click();
  EXPECT_FALSE(page.cboDispTime->isEnabled());
  EXPECT_EQ(page.lstSections->count(), 1);  // one Planner section
  EXPECT_TRUE(page.cmdNext->isEnabled());
}

TEST_F(OrganizerTest, ReturningRunOpensAndWritesAtOnce) {
  Bset().Bset_NoProfileCats = false;
  Breg_WriteRegSettings("Settings", "OrgUserFile", kFile);
  Breg_WriteRegSettings("Settings", "OrgKeepPassword", "FALSE");
  Breg_WriteRegSettings("Settings", "OrgPassword", Bse_LongCodeUp("old"));
  Breg_WriteRegSettings("Settings", "OrgEntType", "1");
  Breg_WriteRegSettings("Settings", "OrgSection", "Anniversary");
  frmOrgDetails page;
  page.Form_Activate();
  EXPECT_TRUE(page.lstFiles->isHidden());
  EXPECT_EQ(page.txtSelectedFile->text().toStdString(), kFile);
  EXPECT_TRUE(page.txtPassword->text().isEmpty());
  page.txtPassword->setText("sesame");
  Borg().writePass = [] {
    int16_t p = 1;
    auto r = event("Birthday", 2026, 10, 1, 2);
    Borg_WriteToOrg(r, p);
  };
  page.cmdNext_Click();
  EXPECT_EQ(nextPages_, 1);
  // Not kept: the stored password is gone.
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgPassword"), "");
  auto e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].type, 1);
  EXPECT_EQ(e[0].endDay, 1);
}

// A kept password that was edited by hand is no password: the page asks.
TEST_F(OrganizerTest, AKeptPasswordTheScramblerDidNotWriteIsAskedFor) {
  Breg_WriteRegSettings("Settings", "OrgLastFile", kFile);
  Breg_WriteRegSettings("Settings", "OrgKeepPassword", "TRUE");
  for (const char* stored : {"sesame", "Z5gIj", "~~~~~~~~"}) {
    Breg_WriteRegSettings("Settings", "OrgPassword", stored);
    frmOrgDetails page;
    page.Form_Activate();
    EXPECT_TRUE(page.txtPassword->text().isEmpty()) << stored;
    EXPECT_TRUE(messages_.empty()) << stored;
  }
}

// A character the settings cannot keep is refused as it is typed.
TEST_F(OrganizerTest, APasswordCharacterOutsideWindows1252IsRefusedWhenTyped) {
  frmOrgDetails page;
  auto type = [&](const char* utf8) {
    for (QChar c : QString::fromUtf8(utf8)) {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(page.txtPassword, &key);
    }
  };
  type("caf\u00E9");
  EXPECT_TRUE(messages_.empty());
  type("\u0142");  // a Polish l
  EXPECT_EQ(page.txtPassword->text(), QString::fromUtf8("caf\u00E9"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, kPasswordCharacterRefused);
}

}  // namespace
}  // namespace pellary
