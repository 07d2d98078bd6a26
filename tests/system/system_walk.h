// The fixture of the system walks: an installed program folder with the demo
// data, the program started as it starts, and the wizard's pages driven
// through their handlers as a user drives them.
#pragma once

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
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "core/databank.h"
#include "core/gui/check_list.h"
#include "core/gui/qt_tree_view.h"
#include "core/gui/wizard/page_table.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/tree_keys.h"
#include "core/wizard/page_engine.h"
#include "platform/automation/class_registry.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "quoll/agenda_file.h"
#include "reference/pages/frmReference.h"
#include "selection_steps.h"
#include "shell/frmMDIMain.h"
#include "shell/frmManager2.h"
#include "shell/frmManagerMain.h"
#include "shell/selection_procedures.h"
#include "shell/shell_fixture.h"
#include "shell/small_pages.h"
#include "shell/start.h"
#include "standins/outlook/outlook_store.h"
#include "standins/palm/palm_desktop.h"
#include "standins/psiwin/psiwin_engine.h"
#include "tools/install.h"
#include "update/pages/frmUpdateSetup.h"
#include "writers/pages/frmPilot.h"
#include "writers/pages/frmPsion3Agenda.h"
#include "writers/pages/outlook_pages.h"
#include "writers/series3/series3_writer.h"

namespace pellary {

namespace fs = std::filesystem;
namespace ol = standins::outlook;

inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline size_t occurrences(const std::string& text, const std::string& what) {
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
                                     "[sqlite]\npath = " +
                                     (d / "khal.db").string() + "\n");
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

inline std::string isoDate(double ole) {
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
    testing::showTab(s, f.tab);
    selectOnly(s.categorySelector(f.tab), f.key);
    s.tvCategorySelector_Click(f.tab);
    s.imgEventAdd_Click();
    ASSERT_TRUE(s.selectedItems().exists(chosenCategoryKey(f.tab, f.key))) << text;
  }

  void addTopic(const std::string& text) {
    frmManagerMain& s = selectionScreen();
    Found f = findLeaf([&](int t) -> QtTreeView& { return s.referenceSelector(t); }, text);
    ASSERT_GE(f.tab, 0) << text;
    testing::showTab(s, f.tab);
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

  // A new user's start: FirstRun as the installation left it, the
  // introduction first whatever the command line.
  void firstStart(const std::string& commandLine) {
    ASSERT_EQ(Breg_GetRegSetting("User", "FirstRun"), "True");
    ASSERT_TRUE(Main(commandLine));
    ASSERT_EQ(Bmm_CurrentPage(), page::Intro);
    expectNoMessages("first start");
    for (int i = 0; i < 3; ++i) current<frmIntro>().cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Selection);
    expectNoMessages("introduction");
  }

  // The subjects in Outlook's calendar, asked of Outlook as the writer asks it.
  static std::multiset<std::string> outlookSubjects() {
    ol::closeStore();
    auto app = platform::automation::createObject("Outlook.Application");
    auto ns = app->call("GetNamespace", {Variant("MAPI")}).toObject();
    auto calendar = ns->call("GetDefaultFolder", {Variant(int32_t(9))}).toObject();
    auto items = calendar->call("Items").toObject();
    std::multiset<std::string> out;
    const int32_t n = items->call("Count").toLong();
    for (int32_t i = 1; i <= n; ++i)
      out.insert(items->call("Item", {Variant(i)}).toObject()->call("Subject").toString());
    return out;
  }

  static std::set<int32_t> profileCategories() {
    std::set<int32_t> out;
    dao::Recordset rs =
        Bsql_DataBank().openRecordset("SELECT CatID FROM ProfileCatList WHERE ProfileID = 1 AND Status <> 0");
    for (; !rs.eof(); rs.moveNext()) out.insert(rs["CatID"].value().toLong());
    return out;
  }

  static std::set<int32_t> profileTopics() {
    std::set<int32_t> out;
    dao::Recordset rs =
        Bsql_DataBank().openRecordset("SELECT RefID FROM ProfileRefList WHERE ProfileID = 1 AND Status <> 0");
    for (; !rs.eof(); rs.moveNext()) out.insert(rs["RefID"].value().toLong());
    return out;
  }

  // The Outlook page with the calendar kept, then Finish: the run ends, and
  // the next start finds what it left.
  void outlookThenFinish() {
    ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
    keepTheCalendarWhenOutlookOpens();
    current<frmOutlook>().cmdNext_Click();
    if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
    expectNoMessages("Outlook");
    ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
    EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
    expectNoMessages("Finish");
    endRun();
    Bsql_OpenDataBanks();
  }

  // A first run from the introduction to Finish, for Outlook: one category,
  // one topic; the profile and the calendar hold them afterwards.
  void firstRunToFinish(const std::string& commandLine) {
    installDemo(3);
    firstStart(commandLine);
    addCategory("Germany");
    addTopic("Easter dates");
    expectNoMessages("selection");
    selectionScreen().cmdNext_Click();
    expectNoMessages("Continue");
    // The first Continue lists the dates and the topic.
    ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
    frmManager2& summary = current<frmManager2>();
    EXPECT_GT(summary.datesList().rowCount(), 0);
    ASSERT_EQ(summary.referenceList().rowCount(), 1);
    EXPECT_EQ(summary.referenceList().row(0).text, "Add");
    EXPECT_TRUE(Bint_DatesPending());
    EXPECT_TRUE(Bint_Ref1Pending());
    const int dateRows = summary.datesList().rowCount();

    summary.cmdNext_Click();
    expectNoMessages("summary Next");
    ASSERT_EQ(Bmm_CurrentPage(), page::Reference);
    current<frmReference>().cmdNext_Click();
    expectNoMessages("reference Next");
    outlookThenFinish();
    EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
    EXPECT_EQ(profileCategories(), std::set<int32_t>{1103});
    EXPECT_TRUE(profileTopics().count(6)) << "Easter dates";
    const std::multiset<std::string> subjects = outlookSubjects();
    EXPECT_EQ(long(subjects.size()), writtenEntries());
    EXPECT_EQ(long(subjects.size()), dateRows);
    EXPECT_EQ(subjects.count("Tag der Deutschen Einheit"), 1u);
    for (const std::string& title : titlesOfCategory(1103)) EXPECT_EQ(subjects.count(title), 1u) << title;
  }
};

}  // namespace pellary
