// The reference section walked as a user walks it, on every reference target:
// a demo installation with all three products, topics of each chosen on the
// selection screen, the pages the wizard then shows, and the output on the PC
// or the device read back. Every product's chosen topics must arrive, in the
// output's encoding, and no other topic may.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "core/databank.h"
#include "core/gui/check_list.h"
#include "core/gui/qt_tree_view.h"
#include "core/gui/wizard/page_table.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "platform/dao/dao.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "platform/text/codepages.h"
#include "platform/text/lines.h"
#include "reference/html_generator.h"
#include "reference/page_text.h"
#include "reference/pages/frmPsionRef.h"
#include "reference/pages/frmReference.h"
#include "reference/pages/frmWinCEReference.h"
#include "reference/psion/psion_section.h"
#include "reference/psion/psion_transfer.h"
#include "reference/reference_tree.h"
#include "reference/wince/wince_copier.h"
#include "reference_modules.h"
#include "selection_steps.h"
#include "shell/frmMDIMain.h"
#include "shell/frmManager2.h"
#include "shell/frmManagerMain.h"
#include "shell/selection_procedures.h"
#include "shell/shell_fixture.h"
#include "shell/small_pages.h"
#include "shell/start.h"
#include "standins/palm/palm_desktop.h"
#include "standins/psiwin/psiwin_engine.h"
#include "standins/wince/cecomms.h"
#include "tools/install.h"
#include "writers/pages/frmPalmRef.h"
#include "writers/palm/palm_module.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace tx = platform::text;
using testing::readFile;

// The topics the walk meets: the demo's leaf topics, with the names they
// have in the databank. One is renamed to hold a character beyond
// Windows-1252; the others bring é, ©, &, < and >.
struct Topic {
  const char* product;  // ProductName
  const char* name;     // UTF-8
  bool chosen;
};
constexpr const char* kOmega = "Galleries \xCE\xA9";  // Galleries Ω
const Topic kTopics[] = {
    {"World Public Holidays", "Bank holidays explained", false},
    {"World Public Holidays", "Easter dates", true},
    {"World Public Holidays", "Thanksgiving", false},
    {"World Public Holidays", "Golden Week", true},
    {"World Public Holidays", "Travelling on holidays", false},
    {"Sports Fixtures", "Ar\xC3\xA8nes & v\xC3\xA9lodromes", true},
    {"Sports Fixtures", "Stadium tours", false},
    {"Sports Fixtures", "Resale <official> & touts", true},
    {"Sports Fixtures", "\xC2\xA9 Broadcast rights", true},
    {"Arts and Culture", "What to pack", false},
    {"Arts and Culture", "On-sale dates", false},
    {"Arts and Culture", "Opera houses", false},
    {"Arts and Culture", kOmega, true},
};

// A topic's numbers in the databank (the demo's product numbers may change).
struct TopicIds {
  int product = 0;
  int templ = 0;
  std::string page() const { return std::to_string(product) + "_" + std::to_string(templ); }
};

// --- the tests' own link checker ------------------------------------------------

// The href and src values of a page (quoted or not).
std::vector<std::string> linkValues(const std::string& html) {
  std::vector<std::string> out;
  static const std::regex attr(R"re((?:^|[\s<])(?:href|src)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]*)))re",
                               std::regex::icase);
  for (std::sregex_iterator it(html.begin(), html.end(), attr), end; it != end; ++it)
    out.push_back((*it)[1].matched ? (*it)[1].str() : (*it)[2].matched ? (*it)[2].str() : (*it)[3].str());
  return out;
}

// Every page of a folder: each href and src names a file that exists (a
// fragment alone names the page itself), none is empty, and the page's
// declared character set matches its bytes. resolve maps a link of a page
// to the file it names; empty when it leaves the section.
void checkLinks(const fs::path& folder,
                const std::function<fs::path(const fs::path& page, const std::string&)>& resolve, int& pagesSeen) {
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file() || !paths::equalsIgnoreCase(e.path().extension().string(), ".htm")) continue;
    ++pagesSeen;
    const std::string html = readFile(e.path());
    const std::string name = e.path().filename().string();
    for (std::string link : linkValues(html)) {
      EXPECT_FALSE(link.empty()) << name << " has an empty link";
      if (link.empty() || link[0] == '#' || link.find("://") != std::string::npos) continue;
      link = link.substr(0, link.find('#'));
      const fs::path target = resolve(e.path(), link);
      EXPECT_TRUE(!target.empty() && fs::is_regular_file(target)) << name << " -> " << link;
    }
    const DeclaredCharset declared = declaredCharset(html);
    EXPECT_TRUE(declared.declared) << name << " declares no character set";
    bool ascii = true;
    for (char c : html) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (declared.charset == PageCharset::Utf8) {
      EXPECT_TRUE(tx::isValidUtf8(html)) << name << " says UTF-8 but is not";
    } else if (!ascii) {
      // Windows-1252 text whose bytes read as UTF-8 is UTF-8 spliced into it.
      EXPECT_FALSE(tx::isValidUtf8(html)) << name << " says " << declared.name << " but holds UTF-8";
      for (unsigned char c : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(html.find(char(c)), std::string::npos) << name << " holds a byte Windows-1252 lacks";
    }
  }
}

// --- a real browser, where there is one ----------------------------------------

std::string chromium() {
  for (const char* name : {"chromium", "chromium-browser", "google-chrome"})
    if (std::string p = platform::process::findProgram(name); !p.empty()) return p;
  return {};
}

// Runs the browser headless on a page; its standard output (or empty after a failure).
std::string runChromium(const std::string& program, const fs::path& profile, QStringList args) {
  QProcess p;
  args = QStringList{"--headless", "--disable-gpu", "--no-sandbox", "--no-first-run",
                     "--user-data-dir=" + QString::fromStdString(profile.string())} +
         args;
  p.start(QString::fromStdString(program), args);
  if (!p.waitForFinished(90000)) {
    p.kill();
    p.waitForFinished(5000);
    return {};
  }
  return p.readAllStandardOutput().toStdString();
}

// --- the walk -------------------------------------------------------------------

class ReferenceWalk : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    resetReferenceModules();
  }
  void TearDown() override {
    destroyMainFrame();
    resetShellState();
    Bsql_CloseDataBank();
    resetProductSetup();
    resetReferenceModules();
    ShellTest::TearDown();
  }
  // A demo installation sending the reference to refPlat1 (the PC) or to the
  // device refPlat2; a returning user whose profile has no topics yet.
  void installDemo(int refPlat1, std::optional<int> refPlat2) {
    install::Options o;
    o.demo = true;
    o.refPlat1 = refPlat1;
    o.refPlat2 = refPlat2;
    install::Result r = install::installProgramFolder(o);
    ASSERT_TRUE(r.demoLoaded) << ::testing::PrintToString(r.notes);
    Breg_WriteRegSettings("Settings", "Ref1", refPlat1 == 1 && !refPlat2 ? "on" : "off");
    Breg_WriteRegSettings("Settings", "Ref2", refPlat2 ? "on" : "off");
    Breg_WriteRegSettings("User", "FirstRun", "False");
    dao::Database db = dao::Database::open(home() / install::kDatabankName);
    db.execute(std::string("UPDATE RETemplate SET Name = '") + kOmega + "' WHERE Name = 'Galleries'");
    for (const Topic& t : kTopics) {
      dao::Recordset rs = db.openRecordset(
          std::string("SELECT RETemplate.Template_Id, Products.ProductID FROM RETemplate, Products WHERE ") +
          "RETemplate.Product_Id = Products.ProductID AND Products.ProductName = '" + t.product +
          "' AND RETemplate.Name = '" + t.name + "'");
      ASSERT_FALSE(rs.eof()) << t.name;
      ids[t.name] = {int(rs["ProductID"].value().toLong()), int(rs["Template_Id"].value().toLong())};
      productIds.insert(ids[t.name].product);
    }
    db.close();
  }

  // Start, selection screen, each product's topics, summary; then the pages
  // up to the target's own page.
  void chooseTopics(int16_t targetPage) {
    ASSERT_TRUE(Main(""));
    ASSERT_EQ(Bmm_CurrentPage(), page::Banner);
    dynamic_cast<frmManagerTop*>(PageTable().loadedPage(page::Banner))->imgChangeSelection_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Selection);
    frmManagerMain& s = selectionScreen();
    std::set<int> tabs;
    for (const Topic& t : kTopics) {
      // Each product's topics live on its own tab, and only there.
      int found = -1;
      std::string key;
      for (int tab = 0; tab < kTreeTabs; ++tab) {
        QtTreeView& v = s.referenceSelector(tab);
        for (const std::string& k : v.keys())
          if (v.text(k) == t.name && v.childCount(k) == 0) {
            EXPECT_EQ(found, -1) << t.name << " is on two tabs";
            found = tab;
            key = k;
          }
      }
      ASSERT_GE(found, 0) << t.name;
      EXPECT_EQ(Bset().Bset_ProductID[size_t(found)], ids[t.name].product) << t.name;
      tabs.insert(found);
      if (!t.chosen) continue;
      testing::showTab(s, found);
      QtTreeView& view = s.referenceSelector(found);
      QTreeWidget* w = view.widget();
      w->clearSelection();
      w->setCurrentItem(view.item(key));
      view.item(key)->setSelected(true);
      s.tvReferenceSelector_Click(found);
      s.imgRefAdd_Click();
    }
    EXPECT_EQ(tabs.size(), 3u);
    expectNoMessages("selection");
    s.cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
    auto* summary = dynamic_cast<frmManager2*>(PageTable().loadedPage(page::Summary));
    int chosen = 0;
    for (const Topic& t : kTopics) chosen += t.chosen;
    EXPECT_EQ(summary->referenceList().rowCount(), chosen);
    summary->cmdNext_Click();
    expectNoMessages("summary");
    if (Bmm_CurrentPage() == page::Reference && targetPage != page::Reference)
      dynamic_cast<frmReference*>(PageTable().loadedPage(page::Reference))->cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), targetPage);
  }

  template <class T>
  T& current() {
    auto* p = dynamic_cast<T*>(PageTable().loadedPage(Bmm_CurrentPage()));
    if (!p) throw std::runtime_error("unexpected page " + std::to_string(Bmm_CurrentPage()));
    return *p;
  }

  void expectNoMessages(const char* where) {
    for (const MessageRequest& m : messages) ADD_FAILURE() << where << ": message \"" << m.text << "\"";
    messages.clear();
  }

  // The profile holds exactly the chosen topics (and their ancestors).
  void expectProfile() {
    for (const Topic& t : kTopics) {
      dao::Recordset rs = Bsql_DataBank().openRecordset(
          "SELECT * FROM ProfileRefList WHERE Status <> 0 AND Product_Id = " + std::to_string(ids[t.name].product) +
          " AND RefID = " + std::to_string(ids[t.name].templ));
      EXPECT_EQ(!rs.eof(), t.chosen) << t.name;
    }
  }

  // Every topic's name in a device file of the given code page: the chosen
  // ones once at least, the others never.
  void expectNamesIn(const std::string& bytes, const std::function<std::string(const std::string&)>& encode,
                     const std::string& where) {
    for (const Topic& t : kTopics)
      EXPECT_EQ(bytes.find(encode(t.name)) != std::string::npos, t.chosen) << where << ": " << t.name;
  }

  // The content files of the chosen topics and no others, named P_T + ext.
  void expectLeafFiles(const fs::path& folder, const std::string& ext) {
    for (const Topic& t : kTopics)
      EXPECT_EQ(fs::exists(folder / (ids[t.name].page() + ext)), t.chosen) << folder << " " << t.name;
  }

  // Each chosen name stands on an index page of its product, escaped and in
  // that page's character set; no other name does. Where each stands.
  std::map<std::string, fs::path> expectNamesListed(const fs::path& folder) {
    std::map<std::string, fs::path> listedOn;
    for (const Topic& t : kTopics) {
      for (const auto& e : fs::directory_iterator(folder)) {
        const std::string file = e.path().filename().string();
        if (file.rfind(std::to_string(ids[t.name].product) + "_", 0) != 0) continue;
        const std::string html = readFile(e.path());
        const std::string text = pageText(t.name, declaredCharset(html).charset);
        if (html.find(">" + text + "</a>") != std::string::npos) listedOn[t.name] = e.path();
      }
      EXPECT_EQ(listedOn.count(t.name) == 1, t.chosen) << folder << " " << t.name;
    }
    return listedOn;
  }

  std::map<std::string, TopicIds> ids;
  std::set<int> productIds;
};

TEST_F(ReferenceWalk, PcSectionHoldsEveryProductsChosenTopicsAndItsLinksResolve) {
  installDemo(1, std::nullopt);
  chooseTopics(page::Reference);
  current<frmReference>().cmdNext_Click();
  expectNoMessages("reference page");
  EXPECT_NE(Bmm_CurrentPage(), page::Reference);
  expectProfile();

  const fs::path pc = home() / "PCMappa";
  expectLeafFiles(pc, ".htm");
  const std::map<std::string, fs::path> listedOn = expectNamesListed(pc);
  for (int product : productIds) EXPECT_TRUE(fs::exists(pc / (std::to_string(product) + "_1.htm"))) << product;

  int pages = 0;
  checkLinks(
      pc, [](const fs::path& page, const std::string& link) { return page.parent_path() / link; }, pages);
  EXPECT_GT(pages, 10);

  const std::string browser = chromium();
  if (browser.empty()) GTEST_SKIP() << "no chromium here: the browser checks are skipped";
  const fs::path profile = root() / "chromium";
  // The browser reads each name back as it was chosen, whatever the page's
  // character set, and shows no replacement character.
  for (const auto& [name, page] : listedOn) {
    const std::string dom =
        runChromium(browser, profile, {"--dump-dom", QString::fromStdString("file://" + page.string())});
    ASSERT_FALSE(dom.empty()) << page;
    std::string escaped = std::regex_replace(name, std::regex("&"), "&amp;");
    escaped = std::regex_replace(escaped, std::regex("<"), "&lt;");
    escaped = std::regex_replace(escaped, std::regex(">"), "&gt;");
    EXPECT_NE(dom.find(">" + escaped + "</a>"), std::string::npos) << name << "\n" << dom;
    EXPECT_EQ(dom.find("\xEF\xBF\xBD"), std::string::npos) << page << "\n" << dom;
  }
  // The frameset rendered: its frames show text, not a blank page.
  const fs::path shot = root() / "shot.png";
  runChromium(browser, profile,
              {"--screenshot=" + QString::fromStdString(shot.string()), "--window-size=1000,700",
               QString::fromStdString("file://" + (pc / "index.htm").string())});
  QImage image(QString::fromStdString(shot.string()));
  ASSERT_FALSE(image.isNull()) << "no screenshot";
  long dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++dark;
  EXPECT_GT(dark, 200) << "the rendered section is blank";
}

// The Windows CE pages: generated, copied and linked on the device.
class WinCEWalk : public ReferenceWalk, public ::testing::WithParamInterface<int> {};

TEST_P(WinCEWalk, DeviceHoldsEveryProductsChosenTopicsLinkedWhereTheyLie) {
  const int code = GetParam();
  installDemo(1, code);
  namespace ce = standins::wince;
  ce::setDeviceAttached(true);
  ce::setStorageCards({"Storage Card"});
  chooseTopics(page::WinCERef);
  frmWinCEReference& page = current<frmWinCEReference>();
  auto* next = page.findChild<QPushButton*>("cmdNext");
  next->click();  // connects and offers the locations; the card is preselected
  next->click();  // generates and copies
  expectNoMessages("Windows CE page");
  EXPECT_NE(Bmm_CurrentPage(), page::WinCERef);
  expectProfile();
  const std::string folder = "\\Storage Card\\Reference\\";
  const fs::path onCard = ce::onDevice(folder);
  expectLeafFiles(onCard, ".htm");
  expectNamesListed(onCard);
  for (int product : productIds) EXPECT_TRUE(fs::exists(onCard / (std::to_string(product) + "_1.htm"))) << product;
  if (code == 4) {
    // A shortcut for each product, to its top page.
    int shortcuts = 0;
    for (const auto& e : fs::directory_iterator(ce::onDevice("\\Windows\\Desktop\\"))) {
      ++shortcuts;
      std::string target = readFile(e.path());
      target = target.substr(1, target.size() - 2);
      EXPECT_TRUE(fs::is_regular_file(ce::onDevice(target))) << e.path().filename() << " -> " << target;
    }
    EXPECT_EQ(shortcuts, int(productIds.size()));
  } else {
    const std::string menu = readFile(ce::onDevice("\\Windows\\Start Menu\\Programs\\Mappa.htm"));
    for (int product : productIds)
      EXPECT_NE(menu.find(folder + std::to_string(product) + "_1.htm"), std::string::npos) << product << "\n" << menu;
  }
  // Links resolve on the device: device paths from its root, others beside the page.
  int pages = 0;
  checkLinks(
      ce::deviceRoot(),
      [](const fs::path& page, const std::string& link) {
        return link[0] == '\\' ? ce::onDevice(link) : page.parent_path() / link;
      },
      pages);
  EXPECT_GT(pages, 5);
}

INSTANTIATE_TEST_SUITE_P(HandheldAndPalmSized, WinCEWalk, ::testing::Values(4, 8),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 4 ? "Handheld" : "PalmSized");
                         });

// The Psion viewer's section: content files and one menu for every product.
class PsionWalk : public ReferenceWalk, public ::testing::WithParamInterface<int> {};

TEST_P(PsionWalk, DeviceHoldsEveryProductsChosenTopicsInItsCodePage) {
  const int code = GetParam();
  const bool series3 = code == 32;
  installDemo(1, code);
  namespace psi = standins::psiwin;
  for (const char* drive : series3 ? std::vector<const char*>{"M"} : std::vector<const char*>{"C", "D"})
    fs::create_directories(psi::deviceFolder() / drive);
  chooseTopics(page::PsionRef);
  frmPsionRef& page = current<frmPsionRef>();
  auto* drives = page.findChild<QTreeWidget*>("lstDrives");
  for (int i = 0; i < 100 && drives->topLevelItemCount() == 0; ++i) page.pumpEngine();
  ASSERT_GT(drives->topLevelItemCount(), 0);
  QTreeWidgetItem* row = drives->topLevelItem(drives->topLevelItemCount() - 1);
  drives->setCurrentItem(row);
  page.lstDrives_ItemClick(row);
  // The viewer goes too: its files come with the installation.
  page.findChild<QCheckBox*>("chkInstallViewer")->setChecked(true);
  page.findChild<QPushButton*>("cmdNext")->click();
  // Close the viewer on the device first; on a Series 3, then install it by hand.
  ASSERT_EQ(messages.size(), series3 ? 2u : 1u) << messages.back().text;
  EXPECT_NE(messages[0].text.find("Mappa program is closed"), std::string::npos) << messages[0].text;
  messages.clear();
  if (series3) {
    for (const char* file : {"M:\\app\\KESTMenu\\MenuComp.opo", "M:\\app\\mappa\\backgrd.pic", "M:\\app\\mappa.opa"})
      EXPECT_TRUE(fs::exists(psi::devicePath(file))) << file;
  } else {
    EXPECT_NE(readFile(paths::inProgramFolder("\\psion5\\Mappa.pkg")).find("MenuDisplay.opo"), std::string::npos);
  }
  EXPECT_NE(Bmm_CurrentPage(), page::PsionRef);
  expectProfile();

  const std::string drive = row->data(0, Qt::UserRole).toString().toStdString();
  const fs::path data = psi::devicePath(series3 ? "M:\\kest\\gzr99" : drive + "Pelmon\\gzr");
  expectLeafFiles(data, ".txt");
  const std::string menu =
      readFile(psi::devicePath(series3 ? "M:\\app\\Mappa\\menu.txt" : "C:\\system\\apps\\Mappa\\menu.txt"));
  auto encode = [&](const std::string& s) { return series3 ? tx::utf8ToCp850(s) : tx::utf8ToCp1252(s); };
  expectNamesIn(menu, encode, "menu");
  // Every product's root stands in the device menu; Ω cannot, and shows as '?'.
  for (const char* root : {"Holidays Guide", "Sports Guide", "Culture Guide"})
    EXPECT_NE(menu.find(root), std::string::npos) << root << "\n" << menu;
  EXPECT_NE(menu.find("Galleries ?"), std::string::npos) << menu;
  EXPECT_FALSE(tx::isValidUtf8(menu) && menu.find("\xC3") != std::string::npos) << "UTF-8 on the device";
  // Each leaf line names a file that is on the device.
  for (const std::string& line : tx::splitLines(menu)) {
    const std::string first = line.substr(0, line.find(' '));
    if (first.find(".txt") != std::string::npos) {
      EXPECT_TRUE(fs::exists(data / first)) << first;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Series3AndSeries5, PsionWalk, ::testing::Values(32, 16),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == 32 ? "Series3" : "Series5");
                         });

TEST_F(ReferenceWalk, PalmTableHoldsEveryProductsChosenTopics) {
  installDemo(1, 2);
  ASSERT_FALSE(standins::palm::users().empty());
  const standins::palm::PalmUser user = standins::palm::users()[0];
  chooseTopics(page::PalmRef);
  frmPalmRef& page = current<frmPalmRef>();
  auto* users = page.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_EQ(users->count(), 1);
  users->setCurrentRow(0);
  emit users->itemClicked(users->item(0));
  page.findChild<QPushButton*>("cmdNext")->click();
  expectNoMessages("Palm page");
  EXPECT_NE(Bmm_CurrentPage(), page::PalmRef);
  expectProfile();
  const std::string table = readFile(standins::palm::userFolder(user) / "Brackwater" / "Mappa" / "KestOrry.cdi");
  expectNamesIn(
      table, [](const std::string& s) { return "\"" + tx::utf8ToCp1252(s) + "\""; }, "table");
  for (const char* root : {"Holidays Guide", "Sports Guide", "Culture Guide"})
    EXPECT_NE(table.find(std::string("\"") + root + "\""), std::string::npos) << root;
  EXPECT_NE(table.find("\"Galleries ?\""), std::string::npos);
}

}  // namespace
}  // namespace pellary
