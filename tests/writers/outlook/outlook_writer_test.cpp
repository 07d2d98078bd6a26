#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../processor/processor_fixture.h"
#include "core/registry.h"
#include "platform/automation/class_registry.h"
#include "platform/msgbox.h"
#include "platform/state_file.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"
#include "support/stored_profile.h"
#include "writers/outlook/outlook_writer.h"
#include "writers/pages/outlook_pages.h"

namespace pellary {
namespace {

namespace ol = standins::outlook;
using Strings = std::vector<std::string>;

struct FakeWindows : OutlookWindows {
  void showGuide(bool topRight) override { log.push_back(topRight ? "guide top right" : "guide centred"); }
  void hideGuide() override { log.push_back("hide"); }
  void setGuideText(const std::string& t) override { text = t; }
  void setProgress(int16_t p) override { progress.push_back(p); }
  void setButtonsEnabled(bool e) override { log.push_back(e ? "enabled" : "disabled"); }
  void frameOutOfTheWay(bool away) override { log.push_back(away ? "frame away" : "frame back"); }
  void processEvents() override {}
  Strings log;
  std::string text;
  std::vector<int16_t> progress;
};

class OutlookWriter : public testing::ProcessorTest {
 protected:
  void SetUp() override {
    ProcessorTest::SetUp();
    Bplp().writeOverride = nullptr;
    Bplp().deleteOverride = nullptr;
    ol::closeStore();
    ol::registerOutlookClasses();
    resetOutlookState();
    Bset().Bset_DatesPlat = 3;
    Bset().Bset_NoProfileCats = false;
    Bmm_CurrentPage() = datesPlatPage(3);
    Bout().windows = &windows;
    oldPresenter = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r.text);
      return mb::OK;
    });
  }
  void TearDown() override {
    setMessagePresenter(oldPresenter);
    resetOutlookState();
    ol::session().onDisplay = nullptr;
    ol::closeStore();
    platform::automation::unregisterBuiltinClass(ol::kApplicationClass);
    updateRunSurface() = UpdateRunSurface{};
    Bupd_UpdateRun() = false;
    ProcessorTest::TearDown();
  }
  static ol::Folder& calendarFolder() { return *ol::store().defaultFolder(ol::defaultfolder::Calendar); }
  static void saveCalendarAsTarget() { Breg_WriteRegSettings("Settings", "OutlookFolder", calendarFolder().entryID); }
  // The summary's preview, then Next on the Outlook page.
  void summaryThenOutlook() {
    Bsql_SetFinalRecordSelection();
    Bint_ShowFinalPreview();
    Bint_SetProcessControl();
    Bout_InitialiseOutlook();
  }
  static std::vector<ol::Appointment> calendarItems() { return ol::store().items(calendarFolder().entryID); }
  static const ol::Appointment* itemNamed(const std::vector<ol::Appointment>& items, const std::string& subject) {
    for (const ol::Appointment& a : items)
      if (a.subject == subject) return &a;
    return nullptr;
  }
  // The calendar's item files, one after another.
  static std::string calendarText() {
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(calendarFolder().dir)) {
      if (e.path().extension() != ".ics") continue;
      std::ifstream in(e.path(), std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      all += s.str();
    }
    return all;
  }

  FakeWindows windows;
  MessagePresenter oldPresenter;
  Strings messages;
};

TEST(OutlookNote, PartsFollowInOrderWhenPresent) {
  RelayEventRecord r;
  EXPECT_EQ(outlookNoteText(r), "");
  r.TelCountry = "44";
  EXPECT_EQ(outlookNoteText(r), "Tel: +44");  // no line break after the country code alone
  r.Memo = "Memo";
  r.TelPrefix = "20";
  r.Tel = "7946 0000";
  r.URL = "fair.example";
  r.OnSale = platform::oleFromCivil(2027, 3, 1);
  r.MemoLong = "Long";
  EXPECT_EQ(
      outlookNoteText(r),
      "Memo\r\nTel: +44 (20) 7946 0000\r\nWebsite: http://fair.example\r\nTickets on sale: 01/03/2027\r\n\r\nLong");
  r.Title = "Say \"hi\"";
  r.StartDate = platform::oleFromCivil(2027, 3, 9);
  EXPECT_EQ(outlookDeleteFilter(r), "[Subject] = \"Say \"\"hi\"\"\" and  [Start] = \"09/03/2027 12:00 AM\"");
}

TEST_F(OutlookWriter, WritesToTheSavedFolderThenDeletesBySubjectAndStart) {
  cat(10, 2);
  event(1, "Fair", day(2027, 2, 1), day(2027, 2, 1), 1, 1, "Memo = 'Stalls', Tel = '123'");
  event(2, "Carnival", day(2027, 2, 8), day(2027, 2, 10));
  link(1, 10);
  link(2, 10);
  ol::store();
  saveCalendarAsTarget();
  summaryThenOutlook();

  EXPECT_FALSE(Bint_DatesPending());
  EXPECT_EQ(windows.progress, (std::vector<int16_t>{0, 50, 100}));
  EXPECT_EQ(windows.log,
            (Strings{"guide centred", "guide centred", "disabled", "frame away", "hide", "enabled", "frame back"}));
  EXPECT_EQ(windows.text, kOutlookWaitText);
  // The profile was committed.
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE Status = 4"), 2);

  // A later Outlook sees the entries.
  ol::closeStore();
  ol::Folder& cal = calendarFolder();
  const std::vector<ol::Appointment> written = calendarItems();
  ASSERT_EQ(written.size(), 2u);
  ASSERT_NE(itemNamed(written, "Fair"), nullptr);
  ASSERT_NE(itemNamed(written, "Carnival"), nullptr);
  const ol::Appointment fair = *itemNamed(written, "Fair");
  EXPECT_EQ(fair.subject, "Fair");
  EXPECT_EQ(fair.body, "Stalls\r\n123\r\n");
  EXPECT_EQ(fair.categories, kOutlookCategory);
  EXPECT_TRUE(fair.allDay);
  EXPECT_FALSE(fair.reminderSet);
  EXPECT_EQ(fair.start, day(2027, 2, 1));
  EXPECT_EQ(fair.end, day(2027, 2, 2));
  EXPECT_EQ(itemNamed(written, "Carnival")->end, day(2027, 2, 11));  // the day after the last day
  std::string ics = calendarText();
  EXPECT_NE(ics.find("SUMMARY:Carnival\r\n"), std::string::npos);
  EXPECT_NE(ics.find("DTSTART;VALUE=DATE:20270208\r\nDTEND;VALUE=DATE:20270211\r\n"), std::string::npos);

  // One the user made by hand with the same subject and day goes too; others stay.
  ol::Appointment own = fair;
  own.entryID.clear();
  own.body = "mine";
  ol::store().saveItem(cal.entryID, own);
  ol::Appointment other = fair;
  other.entryID.clear();
  other.start = day(2027, 2, 3);
  other.end = day(2027, 2, 4);
  ol::store().saveItem(cal.entryID, other);

  Bsda().cat(catPosition(10)).Status = 8;
  resetOutlookState();
  Bout().windows = &windows;
  summaryThenOutlook();
  ol::closeStore();
  ASSERT_EQ(calendarItems().size(), 1u);
  EXPECT_EQ(calendarItems()[0].start, day(2027, 2, 3));
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE Status = 4"), 0);
}

TEST_F(OutlookWriter, SavesThatCannotBeFlushedEndTheCommitAndTheProfileStillAgrees) {
  // The calendar's saves reach the disk before the profile commit says they are there.
  static bool failFlush = false;
  static int flushes = 0;
  [[maybe_unused]] static const bool registered = [] {
    platform::standins::onSyncSaved([] {
      ++flushes;
      if (failFlush) raise(57, "Device I/O error");
    });
    return true;
  }();
  cat(10, 2);
  event(1, "Fair", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  saveCalendarAsTarget();
  failFlush = true;
  flushes = 0;
  EXPECT_EQ(endsWith([this] { summaryThenOutlook(); }), "Bsda_CommittChanges");
  failFlush = false;
  EXPECT_EQ(flushes, 1);
  // The entry was recorded as it was saved, so the profile and the calendar
  // still agree and a retry does not write it again.
  const auto stored = testing::storedProfileEvents(Bsql_DataBank(), 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored.begin()->second.status, 4);
  EXPECT_EQ(calendarItems().size(), 1u);
}

TEST_F(OutlookWriter, WithoutASavedFolderTheUserPicksACalendar) {
  cat(10, 2);
  event(1, "Fair", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  std::string inbox = ol::store().defaultFolder(ol::defaultfolder::Inbox)->entryID;
  std::string calendar = calendarFolder().entryID;
  std::string shown;
  std::string pick = inbox;
  ol::session().onDisplay = [&](ol::ExplorerState& e) {
    shown = e.currentFolderID;
    e.currentFolderID = pick;
  };
  summaryThenOutlook();
  // Outlook had no window open: the calendar's own explorer was shown.
  EXPECT_EQ(shown, calendar);
  EXPECT_EQ(windows.log, (Strings{"guide top right"}));
  EXPECT_EQ(windows.text, kOutlookGuideText);
  EXPECT_TRUE(Bint_DatesPending());

  // The inbox is no calendar: a message, and the explorer once more.
  EXPECT_FALSE(Bout_CheckOutlook());
  EXPECT_EQ(messages, (Strings{kOutlookNotCalendar}));
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OutlookFolder"), "");
  // Outlook's window closed: asked again, and the explorer shows once more.
  ol::session().activeExplorer->visible = false;
  shown.clear();
  EXPECT_FALSE(Bout_CheckOutlook());
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(shown, inbox);  // where the user left it
  ASSERT_TRUE(ol::session().activeExplorer->visible);
  ol::session().onDisplay = nullptr;
  ol::session().activeExplorer->currentFolderID = calendar;
  ASSERT_TRUE(Bout_CheckOutlook());
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OutlookFolder"), calendar);
  Bout_BeginWriting();
  EXPECT_EQ(calendarItems().size(), 1u);
  EXPECT_FALSE(Bint_DatesPending());
}

TEST_F(OutlookWriter, AnUpdateRunNeedsTheSavedFolder) {
  Bupd_UpdateRun() = true;
  std::vector<int16_t> portal;
  std::string status, failed;
  updateRunSurface().setProgress = [&](int16_t p) { portal.push_back(p); };
  updateRunSurface().setStatus = [&](const std::string& s) { status = s; };
  updateRunSurface().failedUpdate = [&](const std::string& m) { failed = m; };
  EXPECT_THROW(Bout_InitialiseOutlook(), ProgramEnded);
  EXPECT_EQ(failed, kOutlookLinkLost);

  cat(10, 2);
  event(1, "Fair", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  saveCalendarAsTarget();
  summaryThenOutlook();
  EXPECT_EQ(status, "Updating your Outlook calendar");
  EXPECT_EQ(portal, (std::vector<int16_t>{0, 100}));
  EXPECT_TRUE(windows.log.empty());  // no window in an update run
  EXPECT_EQ(calendarItems().size(), 1u);
}

TEST_F(OutlookWriter, ASavedFolderThatIsGoneIsReported) {
  Breg_WriteRegSettings("Settings", "OutlookFolder", "00000000FFFF");
  EXPECT_EQ(endsWith([] { Bout_InitialiseOutlook(); }), "Bout_InitialiseOutlook");
}

TEST_F(OutlookWriter, PagesCarryTheirControls) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name};
  std::unique_ptr<QApplication> app;
  if (!QApplication::instance()) app = std::make_unique<QApplication>(argc, argv);
  {
    frmOutlook page;
    EXPECT_EQ(page.objectName(), "frmOutlook");
    for (const char* n : {"lblFormTitle", "lblFormInfo", "imgPicture", "cmdNext", "cmdBack"})
      EXPECT_NE(page.findChild<QWidget*>(n), nullptr) << n;
    EXPECT_EQ(page.cmdNext->text(), "&Continue >");
    EXPECT_EQ(page.lblFormTitle->text(), "MS Outlook");
    EXPECT_TRUE(page.lblFormInfo->text().contains("Pellary Almoner dates"));
    frmOutlookGuide* guide = page.guide();
    ASSERT_NE(guide, nullptr);
    for (const char* n : {"lblCount", "pbWritingToOutlook", "Image1", "cmdContinue", "cmdCancel"})
      EXPECT_NE(guide->findChild<QWidget*>(n), nullptr) << n;
    EXPECT_EQ(Bout().windows, guide);
    guide->setButtonsEnabled(false);
    EXPECT_FALSE(page.cmdNext->isEnabled());
    EXPECT_FALSE(guide->cmdContinue->isEnabled());
    guide->setProgress(40);
    EXPECT_EQ(guide->pbWritingToOutlook->value(), 40);
  }
  EXPECT_EQ(Bout().windows, nullptr);
}

}  // namespace
}  // namespace pellary
