// The wizard walked as a user walks it: an installed program folder with the
// demo data, the program started as it starts, and the real pages driven
// through their handlers, down to the calendar stand-in's files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <regex>
#include <map>
#include <set>
#include <sstream>

#include "core/databank.h"
#include "core/gui/qt_tree_view.h"
#include "core/gui/wizard/page_table.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/tree_keys.h"
#include "core/wizard/page_engine.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/standins/outlook/outlook_store.h"
#include "platform/standins/palm/palm_desktop.h"
#include "platform/standins/psiwin/psiwin_engine.h"
#include "quoll/agenda_file.h"
#include "reference/pages/frmReference.h"
#include "shell/check_list.h"
#include "shell/frmMDIMain.h"
#include "shell/frmManager2.h"
#include "shell/frmManagerMain.h"
#include "shell/selection_procedures.h"
#include "shell/shell_fixture.h"
#include "shell/small_pages.h"
#include "shell/start.h"
#include "tools/install.h"
#include "update/pages/frmUpdateSetup.h"
#include "writers/outlook/outlook_pages.h"
#include "writers/palm/frm_pilot.h"
#include "writers/series3/frm_psion3_agenda.h"
#include "writers/series3/series3_writer.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace ol = platform::outlook;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// khal, with a configuration of its own over one calendar folder.
class Khal {
 public:
  explicit Khal(const fs::path& calendar) {
    const fs::path& d = dir_.path();
    testing::writeFile(config(), "[calendars]\n[[outlook]]\npath = " + calendar.string() +
                                     "\ntype = calendar\n"
                                     "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\n"
                                     "longdateformat = %Y-%m-%d\ndatetimeformat = %Y-%m-%d %H:%M\n"
                                     "longdatetimeformat = %Y-%m-%d %H:%M\n"
                                     "local_timezone = Europe/London\ndefault_timezone = Europe/London\n"
                                     "[sqlite]\npath = " + (d / "khal.db").string() + "\n");
  }
  testing::ToolRun run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"-c", config().string()});
    const std::string home = dir_.path().string();
    return testing::runTool("khal", args, {{"HOME", home}, {"XDG_CONFIG_HOME", home}, {"XDG_DATA_HOME", home}});
  }
  // "date title" of every event between the two days (YYYY-MM-DD), one a line.
  std::set<std::string> list(const std::string& from, const std::string& to) const {
    testing::ToolRun r = run({"list", "--format", "{start-date} {title}", "--day-format", "", from, to});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) out.insert(line);
    return out;
  }

 private:
  fs::path config() const { return dir_.path() / "khal.conf"; }
  testing::TempDir dir_;
};

std::string isoDate(double ole) {
  platform::CivilDateTime c = platform::civilFromOle(ole);
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", c.year, c.month, c.day);
  return b;
}

class SystemWalk : public testing::ShellTest {
 protected:
  void TearDown() override {
    ol::closeStore();
    ShellTest::TearDown();
  }

  void installDemo(int datesPlat) {
    install::Options o;
    o.datesPlat = datesPlat;
    o.demo = true;
    install::Result r = install::installProgramFolder(o);
    ASSERT_TRUE(r.demoLoaded) << ::testing::PrintToString(r.notes);
  }

  // A returning user's start: the banner first.
  void start() {
    Breg_WriteRegSettings("User", "FirstRun", "False");
    ASSERT_TRUE(Main(""));
    ASSERT_EQ(Bmm_CurrentPage(), page::Banner);
    expectNoMessages("start");
  }

  // Ends a run as the program's end would leave the next start.
  void endRun() {
    destroyMainFrame();
    resetShellState();
    Bsql_CloseDataBank();
    resetProductSetup();
    ol::closeStore();
  }

  void expectNoMessages(const char* where) {
    for (const MessageRequest& m : messages) ADD_FAILURE() << where << ": message \"" << m.text << "\"";
    messages.clear();
  }

  template <class T>
  T& current() {
    auto* p = dynamic_cast<T*>(PageTable().loadedPage(Bmm_CurrentPage()));
    if (!p) throw std::runtime_error("unexpected page " + std::to_string(Bmm_CurrentPage()));
    return *p;
  }

  // The leaf named text in the trees of the selection screen: its tab and key.
  struct Found {
    int tab = -1;
    std::string key;
  };
  template <class Views>
  static Found findLeaf(Views views, const std::string& text) {
    for (int tab = 0; tab < kTreeTabs; ++tab) {
      QtTreeView& v = views(tab);
      for (const std::string& key : v.keys())
        if (v.text(key) == text && v.childCount(key) == 0) return {tab, key};
    }
    return {};
  }

  static void showTab(frmManagerMain& screen, int tab) {
    if (Bint_CurrentProductTab() == tab) return;
    for (ClickImage* place : screen.findChildren<ClickImage*>("imgTabsBack"))
      if (place->property("product").toInt() == tab) {
        screen.imgTabsBack_Click(place->property("index").toInt());
        break;
      }
    ASSERT_EQ(Bint_CurrentProductTab(), tab);
  }

  static void selectOnly(QtTreeView& view, const std::string& key) {
    QTreeWidget* w = view.widget();
    QTreeWidgetItem* item = view.item(key);
    ASSERT_NE(item, nullptr) << key;
    w->clearSelection();
    w->setCurrentItem(item);
    item->setSelected(true);
  }

  void addCategory(const std::string& text) {
    frmManagerMain& s = selectionScreen();
    Found f = findLeaf([&](int t) -> QtTreeView& { return s.categorySelector(t); }, text);
    ASSERT_GE(f.tab, 0) << text;
    showTab(s, f.tab);
    selectOnly(s.categorySelector(f.tab), f.key);
    s.tvCategorySelector_Click(f.tab);
    s.imgEventAdd_Click();
    ASSERT_TRUE(s.selectedItems().exists(chosenCategoryKey(f.tab, f.key))) << text;
  }

  void addTopic(const std::string& text) {
    frmManagerMain& s = selectionScreen();
    Found f = findLeaf([&](int t) -> QtTreeView& { return s.referenceSelector(t); }, text);
    ASSERT_GE(f.tab, 0) << text;
    showTab(s, f.tab);
    selectOnly(s.referenceSelector(f.tab), f.key);
    s.tvReferenceSelector_Click(f.tab);
    s.imgRefAdd_Click();
  }

  void removeCategory(const std::string& text) {
    frmManagerMain& s = selectionScreen();
    QtTreeView& chosen = s.selectedItems();
    std::string key;
    for (const std::string& k : chosen.keys())
      if (chosen.text(k).find(text) != std::string::npos && !chosen.bold(k)) key = k;
    ASSERT_FALSE(key.empty()) << text;
    selectOnly(chosen, key);
    s.tvSelectedItems_Click();
    s.imgEventRem_Click();
    ASSERT_FALSE(chosen.exists(key));
  }

  // Banner, then the selection screen.
  void toSelection() {
    current<frmManagerTop>().imgChangeSelection_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Selection);
    expectNoMessages("banner");
  }

  // Outlook's explorer opens on the calendar; the user keeps it there.
  void keepTheCalendarWhenOutlookOpens() {
    QTimer::singleShot(0, [this] {
      auto* picker = qobject_cast<OutlookFolderPicker*>(QApplication::activeModalWidget());
      if (!picker) return;
      ++pickerShown;
      picker->accept();
    });
  }
  int pickerShown = 0;

  // Selection, summary and reference pages with a fresh choice, up to the
  // calendar's own page.
  void walkToCalendarPage(std::initializer_list<const char*> categories, const char* topic) {
    toSelection();
    for (const char* c : categories) addCategory(c);
    if (topic) addTopic(topic);
    expectNoMessages("selection");
    selectionScreen().cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
    EXPECT_GT(current<frmManager2>().datesList().rowCount(), 0);
    current<frmManager2>().cmdNext_Click();
    expectNoMessages("summary Next");
    if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
    expectNoMessages("reference Next");
    ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(Bset().Bset_DatesPlat));
  }

  static ol::Folder& calendarFolder() { return *ol::store().defaultFolder(ol::defaultfolder::Calendar); }
  // The calendar's item files, one after another, as a new Outlook finds them.
  static std::string calendarText() {
    ol::closeStore();
    std::string all;
    for (const auto& e : fs::directory_iterator(calendarFolder().dir))
      if (e.path().extension() == ".ics") all += readFile(e.path());
    return all;
  }

  static long count(const std::string& sql) {
    dao::Recordset rs = Bsql_DataBank().openRecordset(sql);
    long n = 0;
    while (!rs.eof()) {
      ++n;
      rs.moveNext();
    }
    return n;
  }

  // Calendar entries the profile says are written: one per written event,
  // one more for each tickets entry.
  static long writtenEntries() {
    dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT Status FROM ProfileEventList WHERE ProfileID = 1");
    long n = 0;
    for (; !rs.eof(); rs.moveNext()) {
      int32_t st = rs["Status"].value().toLong();
      n += (st & 0x0004) ? 1 : 0;
      n += (st & 0x0040) ? 1 : 0;
    }
    return n;
  }

  // Titles of the events of a category in the databank.
  static std::set<std::string> titlesOfCategory(int32_t catID) {
    std::set<std::string> out;
    dao::Recordset rs = Bsql_DataBank().openRecordset(
        "SELECT Event.Title FROM Event INNER JOIN EventCat ON Event.EventID = EventCat.EventID WHERE EventCat.CatID = " +
        std::to_string(catID));
    while (!rs.eof()) {
      out.insert(rs["Title"].value().toString());
      rs.moveNext();
    }
    return out;
  }
};

TEST_F(SystemWalk, OutlookWalkThenASecondRunRemovesACategory) {
  installDemo(3);
  // Before the program runs, the user keeps a meeting in the calendar with khal.
  const fs::path calendarDir = calendarFolder().dir;
  Khal khal(calendarDir);
  testing::ToolRun made = khal.run({"new", "-a", "outlook", "-l", "Town hall", "-r", "monthly", "-u", "2027-12-31",
                                    "2027-03-01", "10:00", "11:00", "Europe/Berlin", "Committee"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  std::map<fs::path, std::string> khalFiles;
  for (const auto& e : fs::directory_iterator(calendarDir))
    if (e.path().extension() == ".ics") khalFiles[e.path()] = readFile(e.path());
  ASSERT_EQ(khalFiles.size(), 1u);
  const std::string meeting = khalFiles.begin()->second;
  for (const char* part : {"RRULE:FREQ=MONTHLY", "LOCATION:Town hall", "TZID=Europe/Berlin", "BEGIN:VTIMEZONE"})
    ASSERT_NE(meeting.find(part), std::string::npos) << meeting;
  ol::closeStore();
  start();
  toSelection();
  addCategory("United Kingdom");
  addCategory("Grand Slam tournaments");
  addCategory("Premier Division fixtures");
  addTopic("Bank holidays explained");
  expectNoMessages("selection");

  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  frmManager2& summary = current<frmManager2>();
  EXPECT_GT(summary.datesList().rowCount(), 0);
  EXPECT_GT(summary.referenceList().rowCount(), 0);
  expectNoMessages("selection Next");

  summary.cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Reference);
  expectNoMessages("summary Next");
  current<frmReference>().cmdNext_Click();
  expectNoMessages("reference Next");
  fs::path pc = home() / "PCMappa";
  ASSERT_TRUE(fs::exists(pc / "index.htm"));
  // Every local link of every page resolves.
  std::regex href(R"(href=\"?([^\" >#]+))", std::regex::icase);
  int pages = 0;
  for (const auto& e : fs::directory_iterator(pc)) {
    if (e.path().extension() != ".htm") continue;
    ++pages;
    std::string text = readFile(e.path());
    for (std::sregex_iterator it(text.begin(), text.end(), href), end; it != end; ++it) {
      std::string target = (*it)[1];
      if (target.find(':') != std::string::npos) continue;
      EXPECT_TRUE(fs::exists(pc / target)) << e.path().filename() << " -> " << target;
    }
  }
  EXPECT_GT(pages, 1);

  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  frmOutlook& outlook = current<frmOutlook>();
  keepTheCalendarWhenOutlookOpens();
  outlook.cmdNext_Click();
  EXPECT_EQ(pickerShown, 1);
  expectNoMessages("Outlook Next");
  outlook.guide()->cmdContinue_Click();
  expectNoMessages("Outlook guide");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);

  std::string ics = calendarText();
  const long written = writtenEntries();
  EXPECT_GT(written, 0);
  EXPECT_EQ(long(occurrences(ics, "BEGIN:VEVENT")), written + 1);  // and the meeting
  // khal shows every written entry on its day with its title.
  {
    const std::vector<ol::Appointment> items = ol::store().items(calendarFolder().entryID);
    ASSERT_EQ(long(items.size()), written + 1);
    double first = items.front().start, last = first;
    for (const ol::Appointment& a : items) {
      first = std::min(first, a.start);
      last = std::max(last, a.start);
    }
    const std::set<std::string> shown = khal.list(isoDate(first), isoDate(last + 1));
    long ours = 0;
    for (const ol::Appointment& a : items) {
      if (a.categories != "Pellary Almoner dates") continue;
      ++ours;
      EXPECT_TRUE(shown.count(isoDate(a.start) + " " + a.subject)) << isoDate(a.start) << " " << a.subject;
    }
    EXPECT_EQ(ours, written);
  }
  for (const std::string& title : titlesOfCategory(1101)) EXPECT_NE(ics.find("SUMMARY:" + title + "\r\n"), std::string::npos) << title;
  // Christmas Day in the United Kingdom, all day.
  EXPECT_NE(ics.find("DTSTART;VALUE=DATE:20271225"), std::string::npos);

  const std::set<std::string> tennis = titlesOfCategory(2201);
  ASSERT_FALSE(tennis.empty());
  for (const std::string& title : tennis) EXPECT_NE(ics.find(title), std::string::npos) << title;
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  expectNoMessages("update settings");
  endRun();

  // Second run: the Grand Slam category goes.
  start();
  toSelection();
  removeCategory("Grand Slam tournaments");
  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  expectNoMessages("second selection");
  current<frmManager2>().cmdNext_Click();
  expectNoMessages("second summary");
  if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  expectNoMessages("second Outlook");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  ics = calendarText();
  for (const std::string& title : tennis) EXPECT_EQ(ics.find(title), std::string::npos) << title;
  EXPECT_EQ(long(occurrences(ics, "BEGIN:VEVENT")), writtenEntries() + 1);
  // The khal meeting went through both runs untouched, and khal still shows it.
  EXPECT_EQ(readFile(khalFiles.begin()->first), meeting);
  const std::set<std::string> shown = khal.list("2027-03-01", "2027-12-31");
  for (const char* day : {"2027-03-01", "2027-07-01", "2027-12-01"})
    EXPECT_TRUE(shown.count(std::string(day) + " Committee")) << day;
  EXPECT_EQ(count("SELECT * FROM ProfileCatList WHERE ProfileID = 1 AND CatID = 2201"), 0);
  EXPECT_EQ(count("SELECT * FROM ProfileCatList WHERE ProfileID = 1 AND CatID IN (1101, 2101)"), 2);
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE ProfileID = 1 AND CatID = 2201"), 0);
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  expectNoMessages("second update settings");
}

TEST_F(SystemWalk, OutlookWalkOnACalDavServer) {
  installDemo(3);
  testing::RadicaleServer server;
  ASSERT_TRUE(server.start()) << "Radicale did not start";
  testing::writeFile(standins() / "Outlook" / "caldav.conf",
                     "url = " + server.home() + "\nuser = " + server.user() + "\npassword = " + server.password() + "\n");
  const std::string id = calendarFolder().entryID;
  ASSERT_EQ(id.rfind("CALDAV:", 0), 0u) << id;
  const std::string collection = "http://127.0.0.1:" + std::to_string(server.port()) + id.substr(7);
  ol::closeStore();
  auto titles = [&] {
    std::multiset<std::string> out;
    for (const auto& [href, text] : testing::calendarResources(collection, server.user(), server.password())) {
      std::smatch m;
      if (std::regex_search(text, m, std::regex("SUMMARY:([^\r\n]*)"))) out.insert(m[1]);
    }
    return out;
  };

  // Run 1 adds.
  start();
  walkToCalendarPage({"United Kingdom", "Grand Slam tournaments"}, nullptr);
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  expectNoMessages("Outlook on the server");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  std::multiset<std::string> onServer = titles();
  EXPECT_EQ(long(onServer.size()), writtenEntries());
  for (const std::string& title : titlesOfCategory(1101)) EXPECT_TRUE(onServer.count(title)) << title;
  const std::set<std::string> tennis = titlesOfCategory(2201);
  ASSERT_FALSE(tennis.empty());
  // Tournament entries carry the title within theirs.
  auto holds = [](const std::multiset<std::string>& all, const std::string& part) {
    return std::any_of(all.begin(), all.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
  };
  for (const std::string& title : tennis) EXPECT_TRUE(holds(onServer, title)) << title;
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  endRun();

  // Run 2 removes a category: the collection holds exactly the written entries.
  start();
  toSelection();
  removeCategory("Grand Slam tournaments");
  selectionScreen().cmdNext_Click();
  current<frmManager2>().cmdNext_Click();
  if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  expectNoMessages("second Outlook on the server");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  onServer = titles();
  EXPECT_EQ(long(onServer.size()), writtenEntries());
  for (const std::string& title : tennis) EXPECT_FALSE(holds(onServer, title)) << title;
  for (const std::string& title : titlesOfCategory(1101)) EXPECT_GE(onServer.count(title), 1u) << title;
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
}

TEST_F(SystemWalk, PalmWalkWritesTheDateBook) {
  installDemo(12);
  // The installation gave Palm Desktop its demo user.
  ASSERT_EQ(platform::palm::users().size(), 1u);
  const platform::palm::PalmUser ann = platform::palm::users()[0];
  start();
  walkToCalendarPage({"France", "Grands Prix"}, nullptr);
  frmPilot& pilot = current<frmPilot>();
  auto* users = pilot.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_NE(users, nullptr);
  ASSERT_EQ(users->count(), 1);
  users->setCurrentRow(0);
  emit users->itemClicked(users->item(0));
  pilot.cmdNext_Click();
  // The backup is reported, and the user asked to close Palm Desktop.
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("Datebook.kest"), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[1].text.find("close it now"), std::string::npos) << messages[1].text;
  messages.clear();
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);

  std::vector<platform::palm::DatebookEntry> book = platform::palm::readDatebook(platform::palm::datebookFile(ann));
  EXPECT_EQ(long(book.size()), writtenEntries());
  ASSERT_FALSE(book.empty());
  // France's national day, accented title and all: a one-day entry on 14 July.
  bool bastille = false;
  for (const auto& e : book)
    if (e.title == "Fête nationale") {
      bastille = true;
      EXPECT_EQ(std::tuple(e.startDay, e.startMonth, e.startYear), std::tuple(int16_t(14), int16_t(7), int16_t(2027)));
      EXPECT_EQ(std::tuple(e.endDay, e.endMonth, e.endYear), std::tuple(e.startDay, e.startMonth, e.startYear));
    }
  EXPECT_TRUE(bastille);
  for (const std::string& title : titlesOfCategory(2301)) {
    bool found = false;
    for (const auto& e : book) found = found || e.title.find(title) != std::string::npos;
    EXPECT_TRUE(found) << title;
  }

  // Finish asks for a HotSync, then the program ends.
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kHotSyncNow);
}

TEST_F(SystemWalk, Series3WalkWritesTheDeviceAgenda) {
  installDemo(1);
  // The device holds an empty agenda: the header and the first-record offset.
  const fs::path agenda = platform::psiwin::deviceFolder() / "C" / "Agenda" / "Diary.agn";
  fs::create_directories(agenda.parent_path());
  {
    std::string header(18, '\x5A');
    header += std::string("\x14\x00", 2);
    std::ofstream(agenda, std::ios::binary) << header;
    quoll::AgendaFile check;
    ASSERT_EQ(check.OpenFile(agenda), 0);
    EXPECT_EQ(check.ReadNextEntry(), -1);
  }
  start();
  walkToCalendarPage({"Germany"}, nullptr);
  frmPsion3Agenda& page = current<frmPsion3Agenda>();
  page.txtAgendaName->setText("C:\\Agenda\\Diary.agn");
  // The user waits for the page to connect to the device.
  for (int i = 0; i < 200 && page.Status->currentMessage() != "Connected"; ++i) Bps3().doEvents();
  ASSERT_EQ(page.Status->currentMessage().toStdString(), "Connected");
  page.cmdNext->click();
  expectNoMessages("Series 3 Next");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);

  quoll::AgendaFile file;
  ASSERT_EQ(file.OpenFile(agenda), 0);
  std::vector<std::string> texts;
  while (file.ReadNextEntry() == 0)
    if (file.recordType() != quoll::AgendaFile::Deleted && file.entry().hasDate) texts.push_back(file.entry().text);
  EXPECT_EQ(long(texts.size()), writtenEntries());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Tag der Deutschen Einheit"), texts.end());
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  expectNoMessages("Series 3 finish");
}

}  // namespace
}  // namespace pellary
