// Update runs walked as a user meets them: a first run from a fresh demo
// installation chooses a category and writes the calendar; later the user
// starts an update on demand against the tests' loopback update server, says
// Yes, reads the preview and presses OK. The calendar must then hold exactly
// what the preview listed, the profile what the calendar holds, and LastUpdate
// the packet's time stamp.
#include <zip.h>

#include "core/update_run.h"
#include "system_walk.h"
#include "update/pages/frmManager2Update.h"
#include "update/pages/frmPortalPage.h"
#include "update/protocol/local_server.h"
#include "update/transport.h"
#include "update/update_manager.h"
#include "writers/outlook/outlook_writer.h"
#include "writers/pages/frmPalmRef.h"

#include <QPushButton>

namespace pellary {
namespace {

using testing::LocalServer;

// "YYYY-MM-DD|title" of every entry of the calendar target.
using Entries = std::multiset<std::string>;

std::string zipOf(const fs::path& scratch, const std::vector<std::pair<std::string, std::string>>& members) {
  const fs::path file = scratch / "packet.zip";
  fs::remove(file);
  int error = 0;
  zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) throw std::runtime_error("zip_open");
  for (const auto& [name, bytes] : members) {
    zip_source_t* src = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
    if (zip_file_add(zip, name.c_str(), src, ZIP_FL_ENC_RAW) < 0) throw std::runtime_error("zip_file_add");
  }
  if (zip_close(zip) != 0) throw std::runtime_error("zip_close");
  return readFile(file);
}

// One record of the events file: a one-day event of the given day (seconds
// since 1970), version and action codes.
std::string eventRecord(int id, const std::string& title, int64_t day, int version, const std::vector<int>& actions) {
  std::string r = std::to_string(id) + ",\"" + title + "\",\"International observance\",\"\"," + std::to_string(day) +
                  "," + std::to_string(day) + ",0,\"\",\"\",\"\",\"\",2," + std::to_string(version) + "," +
                  std::to_string(actions.size());
  for (int a : actions) r += "," + std::to_string(a);
  return r + "\r\n";
}

class UpdateWalk;

// A calendar target of an update run: how the first run writes it and how
// its entries are read back, with tools of their own where there are some.
struct CalendarTarget {
  const char* name;
  int datesPlat;
  std::function<void(UpdateWalk&)> prepare;
  std::function<void(UpdateWalk&)> writeOnItsPage;
  std::function<Entries(UpdateWalk&)> entries;
};
void PrintTo(const CalendarTarget& t, std::ostream* os) { *os << t.name; }

class UpdateWalk : public SystemWalk, public ::testing::WithParamInterface<CalendarTarget> {
 public:
  using SystemWalk::current;
  using SystemWalk::keepTheCalendarWhenOutlookOpens;
  static fs::path calendarDir() { return calendarFolder().dir; }
  static std::string calendarEntryID() { return calendarFolder().entryID; }
  fs::path standinsDir() const { return standins(); }
  // Started by the targets that keep the calendar on a CalDAV server.
  std::unique_ptr<testing::RadicaleServer> radicale;

 protected:
  void SetUp() override {
    SystemWalk::SetUp();
    server = std::make_unique<LocalServer>();
  }
  void TearDown() override {
    frmManager2Update::modalHook() = nullptr;
    endUpdateRun();
    server.reset();
    SystemWalk::TearDown();
    radicale.reset();
  }

  // What the installation was enrolled with, and where its server is.
  void enrol() {
    Breg_WriteRegSettings("CUE", "CustomerID", "C77");
    Breg_WriteRegSettings("CUE", "SourceID", "S5");
    Breg_WriteRegSettings("CUE", "LastUpdate", "800");
    Breg_WriteRegSettings("Comms", "UpdateServer", server->address());
    Breg_WriteRegSettings("Comms", "CommTool", "1");
  }

  // The server offers a packet of the given sections and events.
  void offer(const std::string& timeStamp, const std::string& sections, const std::string& events, int reGenerate = 0) {
    const std::string a = server->address();
    server->reply("/update/update_init.pl", "<SETTINGS>\r\nUPDATE_SCRIPT_LOCATION=" + a +
                                                "/update/update.pl\r\nPROFILE_DOWNLOAD_LOCATION=" + a +
                                                "/packets\r\nFINISH_SCRIPT_LOCATION=" + a +
                                                "/update/finish.pl\r\nSCRIPT_USERNAME=u\r\nSCRIPT_PASSWORD=p\r\n"
                                                "</SETTINGS>\r\n");
    server->reply("/update/update.pl", "<UPDATE_STATISTICS>\r\nStatistics\r\nUPDATE=1\r\nTIMESTAMP=" + timeStamp +
                                           "\r\nRE_GENERATE=" + std::to_string(reGenerate) +
                                           "\r\nUPDATE_SIZE=4000\r\n</UPDATE_STATISTICS>\r\n"
                                           "<html><body>An update is ready</body></html>\r\n");
    server->reply("/update/finish.pl", "<OK>\r\n");
    std::vector<std::pair<std::string, std::string>> members{{"Updates/C77_S5_1.new", sections}};
    if (!events.empty()) members.push_back({"Updates/C77_S5_1.de", events});
    server->reply("/packets/C77_S5_1.upd", zipOf(root(), members));
  }

  struct Outcome {
    std::set<std::string> dateRows;  // "key text", as the preview lists them
    std::vector<std::string> referenceRows;
    int status = -1;
  };

  // pelmon cue_demand (or cue_timed), Yes, OK in the preview, Close.
  Outcome updateOnDemand(bool previewExpected = true, const char* commandLine = "cue_demand") {
    Outcome out;
    bool previewShown = false;
    frmManager2Update::modalHook() = [&](frmManager2Update& w) {
      previewShown = true;
      for (int i = 0; i < w.datesList().rowCount(); ++i) {
        PreviewRow r = w.datesList().row(i);
        out.dateRows.insert(r.key + " " + r.text);
      }
      for (int i = 0; i < w.referenceList().rowCount(); ++i) {
        PreviewRow r = w.referenceList().row(i);
        out.referenceRows.push_back(r.text);
      }
      w.cmdBack_Click();  // OK
    };
    try {
      EXPECT_FALSE(Main(commandLine));
      frmPortalPage& portal = portalPage();
      EXPECT_TRUE(portal.cmdYes()->isVisible());
      portal.cmdYes_Click();
      EXPECT_TRUE(portal.cmdClose()->isVisible());
      EXPECT_EQ(portal.lblCurrentStatus()->text(), "Update process completed");
      portal.cmdClose_Click();
      ADD_FAILURE() << "Close did not end the run";
    } catch (const ProgramEnded& e) {
      out.status = e.code;
    }
    EXPECT_EQ(previewShown, previewExpected);
    frmManager2Update::modalHook() = nullptr;
    endUpdateRun();
    return out;
  }

  void endUpdateRun() {
    unloadUpdatePreviewWindow();
    unloadPortalPage();
    resetUpdateManager();
    resetInternetFileTransfer();
    Bupd_UpdateRun() = false;
    endRun();
  }

  std::string log() const {
    const fs::path p = home() / "LY98ERR.log";
    return fs::exists(p) ? readFile(p) : std::string();
  }

  // The events of a category the profile says are written: "EventID v<version>".
  std::set<std::string> writtenOf(int32_t catID) {
    Bsql_OpenDataBanks();
    std::set<std::string> out;
    dao::Recordset rs = Bsql_DataBank().openRecordset(
        "SELECT EventID, Version, Status FROM ProfileEventList WHERE ProfileID = 1 AND CatID = " +
        std::to_string(catID));
    for (; !rs.eof(); rs.moveNext())
      if (rs["Status"].value().toLong() & 0x0004)
        out.insert(std::to_string(rs["EventID"].value().toLong()) + " v" +
                   std::to_string(rs["Version"].value().toLong()));
    rs.close();
    Bsql_CloseDataBank();
    return out;
  }

  std::unique_ptr<LocalServer> server;
};

void keepTheCalendar(UpdateWalk& t);

constexpr int32_t kInternationalDays = 1501;
// The category's events in the demo data, each "date|title".
const Entries kDemoDays = {"2027-03-08|International Women's Day",
                           "2027-04-07|World Health Day",
                           "2027-04-22|Earth Day",
                           "2027-04-23|World Book Day",
                           "2027-06-05|World Environment Day",
                           "2027-09-21|International Day of Peace",
                           "2027-10-16|World Food Day",
                           "2027-12-10|Human Rights Day"};

Entries changed(Entries e, const std::vector<std::string>& removed, const std::vector<std::string>& added) {
  for (const std::string& r : removed) {
    auto it = e.find(r);
    EXPECT_NE(it, e.end()) << r;
    if (it != e.end()) e.erase(it);
  }
  for (const std::string& a : added) e.insert(a);
  return e;
}

TEST_P(UpdateWalk, OnDemandUpdateRewritesTheCalendarAsThePreviewListed) {
  const CalendarTarget& target = GetParam();
  installDemo(target.datesPlat);
  target.prepare(*this);
  enrol();

  // The first run: the introduction, one category, the target's page, Finish.
  firstStart("");
  addCategory("International days");
  expectNoMessages("selection");
  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  current<frmManager2>().cmdNext_Click();
  if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(target.datesPlat));
  target.writeOnItsPage(*this);
  messages.clear();  // the target's own reminders (HotSync)
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  messages.clear();
  endRun();
  ASSERT_EQ(target.entries(*this), kDemoDays);

  // The first packet: a new day, a cancellation, a postponement, a change of
  // details, and a day moved out of the dates the calendar shows.
  offer("900", "EVENTCAT\r\n1501,19001,1\r\n/EVENTCAT\r\n",
        eventRecord(19001, "World Poetry Day", 1805587200, 1, {4}) +
            eventRecord(10088, "World Health Day", 1807056000, 2, {1}) +
            eventRecord(10089, "Earth Day", 1808438400, 2, {2}) +
            eventRecord(10090, "World Environment Day", 1812153600, 2, {3}) +
            eventRecord(10091, "International Day of Peace", 1600646400, 2, {2}));
  Outcome first = updateOnDemand();
  EXPECT_EQ(first.status, 0);
  expectNoMessages("first update");
  EXPECT_EQ(log(), "");
  EXPECT_EQ(first.dateRows, (std::set<std::string>{"P0019001 Add", "P0010088 Change", "P0010089 Change",
                                                   "P0010090 Change", "P0010091 Remove"}));
  const Entries afterFirst = changed(kDemoDays,
                                     {"2027-04-07|World Health Day", "2027-04-22|Earth Day",
                                      "2027-06-05|World Environment Day", "2027-09-21|International Day of Peace"},
                                     {"2027-03-21|World Poetry Day", "2027-04-07|Cancelled: World Health Day",
                                      "2027-04-23|Postponed: Earth Day", "2027-06-05|Updated: World Environment Day"});
  EXPECT_EQ(target.entries(*this), afterFirst);
  EXPECT_EQ(writtenOf(kInternationalDays), (std::set<std::string>{"10088 v2", "10089 v2", "10090 v2", "10092 v1",
                                                                  "10093 v1", "10094 v1", "10095 v1", "19001 v1"}));
  EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "900");
  {
    auto finish = server->requestsTo("/update/finish.pl");
    ASSERT_EQ(finish.size(), 1u);
    EXPECT_NE(finish[0].body.find("&TimeStamp=900&User_Decision=1"), std::string::npos) << finish[0].body;
  }

  // A second packet on top of the first.
  offer("950", "",
        eventRecord(19001, "World Poetry Day", 1805587200, 2, {1}) +
            eventRecord(10092, "World Food Day", 1602806400, 2, {2}));
  Outcome second = updateOnDemand();
  EXPECT_EQ(second.status, 0);
  expectNoMessages("second update");
  EXPECT_EQ(log(), "");
  EXPECT_EQ(second.dateRows, (std::set<std::string>{"P0019001 Change", "P0010092 Remove"}));
  EXPECT_EQ(target.entries(*this), changed(afterFirst, {"2027-03-21|World Poetry Day", "2027-10-16|World Food Day"},
                                           {"2027-03-21|Cancelled: World Poetry Day"}));
  EXPECT_EQ(writtenOf(kInternationalDays), (std::set<std::string>{"10088 v2", "10089 v2", "10090 v2", "10093 v1",
                                                                  "10094 v1", "10095 v1", "19001 v2"}));
  EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "950");
  auto calls = server->requestsTo("/update/update.pl");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].body.rfind("TimeStamp=900&", 0), 0u) << "the next call sends the last update's stamp";
  if (std::string(target.name) != "OutlookVdir") return;

  // The calendar the user chose is gone: the run says so, logs it, ends with
  // an error, and the update stays to be applied.
  const fs::path chosen = calendarDir();
  ol::closeStore();
  fs::remove_all(chosen);
  offer("990", "", eventRecord(10093, "Human Rights Day", 1828396800, 2, {3}));
  Outcome lost = updateOnDemand();
  EXPECT_EQ(lost.status, 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kOutlookLinkLost);
  messages.clear();
  const std::string logged = log();
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
  EXPECT_NE(logged.find(",\"Bupd_FailedUpdate\",30010,\"Pellary Almoner can no longer link to your Outlook calendar."),
            std::string::npos)
      << logged;
  EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "950");
  EXPECT_EQ(server->requestsTo("/update/finish.pl").size(), 2u) << "nothing acknowledged";
}

// Chosen reference topics: a timed update that renames one re-generates the
// PC pages, and the new name is what the pages show.
TEST_F(UpdateWalk, UpdateRegeneratesThePcReferencePages) {
  installDemo(3);
  enrol();
  firstStart("");
  addCategory("International days");
  addTopic("Easter dates");
  expectNoMessages("selection");
  selectionScreen().cmdNext_Click();
  current<frmManager2>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Reference);
  current<frmReference>().cmdNext_Click();
  keepTheCalendar(*this);
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  messages.clear();
  endRun();
  const fs::path pc = home() / "PCMappa";
  auto pagesHolding = [&](const std::string& text) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(pc))
      if (e.path().extension() == ".htm" && readFile(e.path()).find(text) != std::string::npos) ++n;
    return n;
  };
  ASSERT_GT(pagesHolding("Easter dates"), 0);
  ASSERT_EQ(pagesHolding("Easter dates and customs"), 0);

  offer("900", "RETEMPLATE\r\n4,6,\"Easter dates and customs\",1,255,900\r\n/RETEMPLATE\r\n",
        eventRecord(10094, "International Women's Day", 1804464000, 2, {3}), 1);
  Outcome run = updateOnDemand(true, "cue_timed");
  EXPECT_EQ(run.status, 0);
  expectNoMessages("update");
  EXPECT_EQ(log(), "");
  EXPECT_EQ(run.dateRows, (std::set<std::string>{"P0010094 Change"}));
  EXPECT_GT(pagesHolding("Easter dates and customs"), 0) << "the pages were written again";
  // Every local link of every page still resolves.
  std::regex href(R"(href=\"?([^\" >#]+))", std::regex::icase);
  for (const auto& e : fs::directory_iterator(pc)) {
    if (e.path().extension() != ".htm") continue;
    const std::string text = readFile(e.path());
    for (std::sregex_iterator it(text.begin(), text.end(), href), end; it != end; ++it) {
      const std::string to = (*it)[1];
      if (to.find(':') == std::string::npos) {
        EXPECT_TRUE(fs::exists(pc / to)) << e.path().filename() << " -> " << to;
      }
    }
  }
  Bsql_OpenDataBanks();
  EXPECT_EQ(count("SELECT * FROM RETemplate WHERE Product_Id = 4 AND Template_Id = 6 AND TimeStamp = 900"), 1);
  EXPECT_EQ(count("SELECT * FROM Tertiary WHERE CatID = 1501 AND TimeStamp = 900"), 1);
  Bsql_CloseDataBank();
  EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "900");
}

// The Palm reference table: a timed update that renames a chosen topic writes
// the table on the Palm user's folder again, with the new name.
TEST_F(UpdateWalk, UpdateRewritesThePalmReferenceTable) {
  install::Options o;
  o.demo = true;
  o.datesPlat = 3;
  o.refPlat1 = 1;
  o.refPlat2 = 2;
  ASSERT_TRUE(install::installProgramFolder(o).demoLoaded);
  Breg_WriteRegSettings("Settings", "Ref1", "off");
  Breg_WriteRegSettings("Settings", "Ref2", "on");
  enrol();
  ASSERT_FALSE(standins::palm::users().empty());
  const fs::path table =
      standins::palm::userFolder(standins::palm::users()[0]) / "Brackwater" / "Mappa" / "KestOrry.cdi";

  firstStart("");
  addCategory("International days");
  addTopic("Easter dates");
  selectionScreen().cmdNext_Click();
  current<frmManager2>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::PalmRef);
  frmPalmRef& palm = current<frmPalmRef>();
  auto* users = palm.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_GE(users->count(), 1);
  users->setCurrentRow(0);
  emit users->itemClicked(users->item(0));
  palm.findChild<QPushButton*>("cmdNext")->click();
  messages.clear();
  keepTheCalendar(*this);
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  messages.clear();
  endRun();
  ASSERT_TRUE(fs::exists(table));
  ASSERT_NE(readFile(table).find("\"Easter dates\""), std::string::npos);

  offer("900", "RETEMPLATE\r\n4,6,\"Easter dates and customs\",1,255,900\r\n/RETEMPLATE\r\n",
        eventRecord(10094, "International Women's Day", 1804464000, 2, {3}), 1);
  Outcome run = updateOnDemand(true, "cue_timed");
  EXPECT_EQ(run.status, 0);
  expectNoMessages("update");
  EXPECT_EQ(log(), "");
  EXPECT_NE(readFile(table).find("\"Easter dates and customs\""), std::string::npos) << readFile(table);
  EXPECT_EQ(Breg_GetRegSetting("CUE", "LastUpdate"), "900");
}

// --- the targets ---------------------------------------------------------------

std::string isoOf(int year, int month, int day) {
  char b[32];  // room for any int, so the output is never cut
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", year, month, day);
  return b;
}

void nothingToPrepare(UpdateWalk&) {}

void keepTheCalendar(UpdateWalk& t) {
  t.keepTheCalendarWhenOutlookOpens();
  t.current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) t.current<frmOutlook>().guide()->cmdContinue_Click();
}

// khal reads the vdir.
Entries khalEntries(UpdateWalk&) {
  ol::closeStore();
  Khal khal(UpdateWalk::calendarDir());
  Entries out;
  for (const std::string& line : khal.list("2026-12-01", "2028-12-31")) {
    const size_t blank = line.find(' ');
    out.insert(line.substr(0, blank) + "|" + line.substr(blank + 1));
  }
  return out;
}

void onRadicale(UpdateWalk& t) {
  t.radicale = std::make_unique<testing::RadicaleServer>();
  ASSERT_TRUE(t.radicale->start()) << "Radicale did not start";
  testing::writeFile(t.standinsDir() / "Outlook" / "caldav.conf", "url = " + t.radicale->home() +
                                                                      "\nuser = " + t.radicale->user() +
                                                                      "\npassword = " + t.radicale->password() + "\n");
}

// Radicale's own answer to a calendar query.
Entries radicaleEntries(UpdateWalk& t) {
  ol::closeStore();
  const std::string id = UpdateWalk::calendarEntryID();
  ol::closeStore();
  const std::string collection = "http://127.0.0.1:" + std::to_string(t.radicale->port()) + id.substr(7);
  Entries out;
  for (const auto& [href, text] : testing::calendarResources(collection, t.radicale->user(), t.radicale->password())) {
    std::smatch summary, start;
    if (!std::regex_search(text, summary, std::regex("SUMMARY:([^\r\n]*)")) ||
        !std::regex_search(text, start, std::regex("DTSTART;VALUE=DATE:(\\d{4})(\\d{2})(\\d{2})")))
      continue;
    out.insert(std::string(start[1]) + "-" + std::string(start[2]) + "-" + std::string(start[3]) + "|" +
               std::string(summary[1]));
  }
  return out;
}

void chooseTheHotSyncUser(UpdateWalk& t) {
  frmPilot& pilot = t.current<frmPilot>();
  auto* users = pilot.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_NE(users, nullptr);
  users->setCurrentRow(0);
  emit users->itemClicked(users->item(0));
  pilot.cmdNext_Click();
}

// The Date Book as the conduit left it.
Entries dateBookEntries(UpdateWalk&) {
  Entries out;
  const auto user = standins::palm::users().at(0);
  for (const auto& e : standins::palm::readDatebook(standins::palm::datebookFile(user)))
    out.insert(isoOf(e.startYear, e.startMonth, e.startDay) + "|" + e.title);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, UpdateWalk,
    ::testing::Values(CalendarTarget{"OutlookVdir", 3, nothingToPrepare, keepTheCalendar, khalEntries},
                      CalendarTarget{"OutlookOnRadicale", 3, onRadicale, keepTheCalendar, radicaleEntries},
                      CalendarTarget{"PalmDateBook", 12, nothingToPrepare, chooseTheHotSyncUser, dateBookEntries}),
    [](const ::testing::TestParamInfo<CalendarTarget>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pellary
