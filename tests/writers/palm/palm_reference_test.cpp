#include "writers/palm/palm_module.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include "core/gui/wizard/page_table.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "reference/html_generator.h"
#include "reference/reference_tree.h"
#include "standins/palm/palm_desktop.h"
#include "support/fixtures.h"
#include "writers/pages/frmPalmRef.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace palm = standins::palm;
using testing::readFile;
using testing::writeFile;

class PalmRef : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    fs::create_directories(home() / "Palm");
    resetPalmModule();
    resetReferenceTree();
    resetWizardState();
    resetProductSetup();
    // The tests build the tree by hand: no journal to apply from a databank.
    resetHtmlGenerator();
    Bhtm_Generator().Bhtm_Initialised = true;
    palm::installDesktop();
    palm::registerPalmControls();
    ann = palm::addUser("Ann");
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reports.push_back({number, std::string(location)});
    });
  }
  void TearDown() override {
    resetPageTable();
    setReportHandler({});
    resetReferenceTree();
    resetPalmModule();
    resetWizardState();
    resetProductSetup();
    resetHtmlGenerator();
    IsolatedEnvTest::TearDown();
  }

  // Product 7:  1 -> {2, 3, 6},  2 -> {4, 7},  6 -> {5};  6 and 7 not chosen.
  void loadTree() {
    RefProductRecord p;
    p.ProductID = 7;
    p.ParentNodes.resize(7);
    auto kids = [&](int parent, std::vector<int32_t> c) {
      RefParentNode& n = p.ParentNodes[static_cast<size_t>(parent)];
      n.HasChildren = true;
      n.ChildIDs = {0};
      n.ChildIDs.insert(n.ChildIDs.end(), c.begin(), c.end());
      n.ChildIDs.push_back(0);
    };
    kids(1, {2, 3, 6});
    kids(2, {4, 7});
    kids(6, {5});
    p.Selected = {false, true, true, true, true, true, false, false};
    p.TopicNames = {"", "Root", "Arts", "Sport", "Op\xC3\xA9ra", "Hidden", "Closed", "Off"};
    Bhtm().Bhtm_RefProducts = {p, RefProductRecord{}};
  }

  struct Report {
    long number;
    std::string location;
  };
  palm::PalmUser ann;
  std::vector<Report> reports;
};

TEST_F(PalmRef, TableIsWrittenBreadthFirstAndPlacedForTheUser) {
  loadTree();
  writeFile(home() / "Reference" / "Palm" / "7_3.txt", "Sport line1\r\nsecond line\r\n");
  writeFile(home() / "Reference" / "Palm" / "7_5.txt", "never reached");
  writeFile(home() / "Palm" / "kestorry.CDI", "old table");
  Bpm_PalmUserID() = ann.id;
  Bpm_PalmReferenceHandler();

  const std::string expected =
      "#CDBID: CASL\r\n#MAJREV: 2\r\n#MINREV: 0\r\n#FLDCNT: 5\r\n#RECCNT: 4\r\n#SYNCMODE: PC_to_PDA\r\n"
      "#FLDNUM:1 TYPE:S SIZE:0\r\n#FLDNUM:2 TYPE:N SIZE:0\r\n#FLDNUM:3 TYPE:S SIZE:0\r\n"
      "#FLDNUM:4 TYPE:S SIZE:0\r\n#FLDNUM:5 TYPE:S SIZE:0\r\n"
      "0x00000000,0x0000,\"001\",2,\"002003\",\"Root\",\"\"\r\n"
      "0x00000000,0x0000,\"002\",1,\"004\",\"Arts\",\"\"\r\n"
      "0x00000000,0x0000,\"003\",0,\"\",\"Sport\",\"Sport line1\"\r\n"
      "0x00000000,0x0000,\"004\",0,\"\",\"Op\xE9ra\",\"\"";
  EXPECT_EQ(readFile(home() / "Palm" / "KestOrry.cdi"), expected);
  EXPECT_FALSE(fs::exists(home() / "Palm" / "kestorry.CDI"));  // the older table is gone
  EXPECT_EQ(readFile(palm::userFolder(ann) / "Brackwater" / "Mappa" / "KestOrry.cdi"), expected);
  EXPECT_TRUE(reports.empty());
}

// Record numbers are three digits each: past 999 records the table keeps the
// first 999 (whole subtrees go), every number in it names a record in it, and
// a message says how many topics were left out.
TEST_F(PalmRef, ATableOfMoreThan999TopicsKeepsToWhatItCanNumber) {
  RefProductRecord p;
  p.ProductID = 7;
  const int32_t branches = 40, leaves = 30;  // 1 + 40 + 1200 records
  p.ParentNodes.resize(size_t(branches) + 2);
  p.TopicNames = {"", "Root"};
  p.Selected = {false, true};
  auto kids = [&](int parent, std::vector<int32_t> c) {
    RefParentNode& n = p.ParentNodes[static_cast<size_t>(parent)];
    n.HasChildren = true;
    n.ChildIDs = {0};
    n.ChildIDs.insert(n.ChildIDs.end(), c.begin(), c.end());
    n.ChildIDs.push_back(0);
  };
  std::vector<int32_t> branchIds;
  for (int32_t b = 0; b < branches; ++b) branchIds.push_back(2 + b);
  kids(1, branchIds);
  for (int32_t b = 0; b < branches; ++b) {
    p.TopicNames.push_back("Branch " + std::to_string(b));
    p.Selected.push_back(true);
  }
  int32_t next = 2 + branches;
  for (int32_t b = 0; b < branches; ++b) {
    std::vector<int32_t> c;
    for (int32_t l = 0; l < leaves; ++l, ++next) {
      c.push_back(next);
      p.TopicNames.push_back("Leaf " + std::to_string(next));
      p.Selected.push_back(true);
    }
    kids(2 + b, c);
  }
  Bhtm().Bhtm_RefProducts = {p, RefProductRecord{}};
  std::vector<std::string> messages;
  MessagePresenter old = setMessagePresenter([&](const MessageRequest& r) {
    messages.push_back(r.text);
    return mb::OK;
  });
  Bpm_PalmUserID() = ann.id;
  Bpm_PalmReferenceHandler();
  setMessagePresenter(old);
  EXPECT_TRUE(reports.empty());

  const std::string table = readFile(home() / "Palm" / "KestOrry.cdi");
  EXPECT_NE(table.find("#RECCNT: 999\r\n"), std::string::npos);
  size_t records = 0;
  for (size_t at = table.find("0x00000000,0x0000,\""); at != std::string::npos;
       at = table.find("0x00000000,0x0000,\"", at + 1)) {
    ++records;
    const size_t open = table.find(",\"", table.find("\",", at + 19) + 2);
    const std::string kids = table.substr(open + 2, table.find('"', open + 2) - open - 2);
    ASSERT_EQ(kids.size() % 3, 0u);
    for (size_t k = 0; k < kids.size(); k += 3) {
      const int n = std::stoi(kids.substr(k, 3));
      EXPECT_GE(n, 2);
      EXPECT_LE(n, 999) << "a child number past the table";
    }
  }
  EXPECT_EQ(records, 999u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("242 of the topics chosen were left out"), std::string::npos) << messages[0];
}

// A line break in a topic's name never starts a record of its own.
TEST_F(PalmRef, ControlCharactersInNamesStayInsideTheirRecord) {
  loadTree();
  Bhtm().Bhtm_RefProducts[0].TopicNames[2] = "Arts\r\n0x00000000,0x0000,\"009\",0,\"\",\"Forged\",\"\"";
  Bpm_PalmUserID() = ann.id;
  Bpm_PalmReferenceHandler();
  const std::string table = readFile(home() / "Palm" / "KestOrry.cdi");
  EXPECT_NE(table.find("#RECCNT: 4\r\n"), std::string::npos);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 11 + 3) << "one line per record";
  EXPECT_NE(table.find("\"Arts  0x00000000"), std::string::npos) << table;
}

// Several products keep their topics in the one table the device takes:
// record 1 lists each product with chosen topics; one with none is left out.
TEST_F(PalmRef, SeveralProductsShareOneTable) {
  loadTree();
  RefProductRecord second;
  second.ProductID = 9;
  second.ParentNodes.resize(2);
  second.ParentNodes[1].HasChildren = true;
  second.ParentNodes[1].ChildIDs = {0, 2, 0};
  second.Selected = {false, true, true};
  second.TopicNames = {"", "Guide \xC2\xA9", "F\xC3\xAAtes & <neu> \xCE\xA9"};
  RefProductRecord none = second;
  none.ProductID = 11;
  none.Selected = {false, false, false};
  Bhtm().Bhtm_RefProducts = {Bhtm().Bhtm_RefProducts[0], none, second, RefProductRecord{}};
  writeFile(home() / "Reference" / "Palm" / "9_2.txt", "Feasts");
  Bpm_PalmUserID() = ann.id;
  Bpm_PalmReferenceHandler();
  const std::string table = readFile(home() / "Palm" / "KestOrry.cdi");
  EXPECT_NE(table.find("#RECCNT: 7\r\n"), std::string::npos) << table;
  const std::string rows =
      "0x00000000,0x0000,\"001\",2,\"002006\",\"Mappa Reference Data\",\"\"\r\n"
      "0x00000000,0x0000,\"002\",2,\"003004\",\"Root\",\"\"\r\n"
      "0x00000000,0x0000,\"003\",1,\"005\",\"Arts\",\"\"\r\n"
      "0x00000000,0x0000,\"004\",0,\"\",\"Sport\",\"\"\r\n"
      "0x00000000,0x0000,\"005\",0,\"\",\"Op\xE9ra\",\"\"\r\n"
      "0x00000000,0x0000,\"006\",1,\"007\",\"Guide \xA9\",\"\"\r\n"
      "0x00000000,0x0000,\"007\",0,\"\",\"F\xEAtes & <neu> ?\",\"Feasts\"";
  EXPECT_NE(table.find(rows), std::string::npos) << table;
  EXPECT_EQ(readFile(palm::userFolder(ann) / "Brackwater" / "Mappa" / "KestOrry.cdi"), table);
  EXPECT_TRUE(reports.empty());
}

TEST_F(PalmRef, ARootWithoutChosenTopicsIsOneLeaf) {
  loadTree();
  Bhtm().Bhtm_RefProducts[0].Selected.assign(8, false);
  writeFile(home() / "Reference" / "Palm" / "7_1.txt", "Only text");
  Bpm_PalmUserID() = ann.id;
  Bpm_PalmReferenceHandler();
  std::string table = readFile(home() / "Palm" / "KestOrry.cdi");
  EXPECT_NE(table.find("#RECCNT: 1\r\n"), std::string::npos);
  EXPECT_TRUE(table.ends_with("#FLDNUM:5 TYPE:S SIZE:0\r\n0x00000000,0x0000,\"001\",0,\"\",\"Root\",\"Only text\""));
}

TEST_F(PalmRef, WithoutAUserNothingIsPlacedOutsideTheDesktop) {
  loadTree();
  Bpm_PalmUserID() = 99;
  EXPECT_THROW(Bpm_PalmReferenceHandler(), ProgramEnded);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].number, err::PathNotFound);
  EXPECT_EQ(reports[0].location, "Bpm_OutputPalmReference");
}

TEST_F(PalmRef, QueueHandsOutPairsInOrder) {
  Bpm_enQueue(5, 2);
  Bpm_enQueue(9, 3);
  Bpm_deQueue();
  EXPECT_EQ(Bpm().currentPair, std::make_pair(5, 2));
  Bpm_deQueue();
  EXPECT_EQ(Bpm().currentPair, std::make_pair(9, 3));
  EXPECT_THROW(Bpm_deQueue(), ProgramEnded);
  EXPECT_EQ(reports.back().location, "Bpm_deQueue");
}

TEST_F(PalmRef, ConduitRegistrationIsStartedWithItsParameters) {
  Bpm_RegisterRefConduit();
  auto starts = palm::toolStarts();
  ASSERT_EQ(starts.size(), 1u);
  std::string p = Breg_ReturnShortPathName(paths::appPath());
  EXPECT_EQ(starts[0].program, p + "\\Palm\\condreg.exe");
  EXPECT_EQ(starts[0].parameters, p + "\\Palm -AppName \"Mappa\" -CreatorID Orry -Directory \"Brackwater\\Mappa\"");
  EXPECT_EQ(starts[0].folder, paths::appPath());
}

TEST_F(PalmRef, HotSyncRestartFallsBackToTheToolOnlyWhenNeeded) {
  Bpm_RestartHotsync();  // the control restarts the manager itself
  EXPECT_TRUE(palm::toolStarts().empty());
  EXPECT_EQ(palm::hotSyncState().starts, 1);

  palm::HotSyncState s = palm::hotSyncState();
  s.restartable = false;
  palm::setHotSyncState(s);
  Bpm_RestartHotsync();
  ASSERT_EQ(palm::toolStarts().size(), 1u);
  EXPECT_EQ(palm::toolStarts()[0].program, paths::appPath() + "\\Palm\\RestartHS.exe");
  EXPECT_TRUE(palm::hotSyncState().running);

  // A manager that will not stop is left alone.
  s = palm::hotSyncState();
  s.running = false;
  palm::setHotSyncState(s);
  Bpm_RestartHotsync();
  EXPECT_EQ(palm::toolStarts().size(), 1u);
}

TEST_F(PalmRef, ViewerIsQueuedAndFailuresReachTheCaller) {
  writeFile(home() / "Palm" / "Orrery.prc", "viewer");
  Bpm_InstallRefViewer(ann.id);
  Bpm_InstallRefViewer(ann.id);  // already queued (-512) is success
  EXPECT_EQ(palm::installQueue(ann.id), std::vector<std::string>{"Orrery.prc"});
  try {
    Bpm_InstallRefViewer(99);
    FAIL();
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), palm::status::NoSuchUser);
    EXPECT_EQ(e.description(), "Bpm_InstallRefViewer");
  }
  fs::remove(home() / "Palm" / "Orrery.prc");
  EXPECT_EQ(testing::errorOf([&] { Bpm_InstallRefViewer(ann.id); }), palm::status::FileNotFound);
  EXPECT_TRUE(reports.empty());
}

// --- the page ---------------------------------------------------------------------

template <class T>
T* child(QWidget& page, const char* name) {
  T* w = page.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

TEST_F(PalmRef, PageStartsWithTheViewerBoxTickedOnlyForANewUser) {
  palm::addUser("Shared", true, 30);
  {
    frmPalmRef page;
    EXPECT_TRUE(child<QCheckBox>(page, "chkInstallViewer")->isChecked());
    auto* list = child<QListWidget>(page, "lstPilotUsers");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Shared - Profile");
    EXPECT_EQ(list->currentItem(), nullptr);
    list->setCurrentRow(1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    EXPECT_EQ(child<QLineEdit>(page, "txtPilotUser")->text(), "Shared - Profile");
    EXPECT_EQ(Bpm_PalmUserID(), 30);
  }
  Breg_WriteRegSettings("User", "PalmUserID", "55");  // matches nobody
  {
    frmPalmRef page;
    EXPECT_FALSE(child<QCheckBox>(page, "chkInstallViewer")->isChecked());
    EXPECT_EQ(child<QListWidget>(page, "lstPilotUsers")->currentItem(), nullptr);
    EXPECT_TRUE(child<QLineEdit>(page, "txtPilotUser")->text().isEmpty());
  }
  Bset().Bset_NoProfileRefs = false;  // a profile with topics keeps its device
  Breg_WriteRegSettings("User", "PalmUserID", "30");
  frmPalmRef page;
  EXPECT_FALSE(child<QListWidget>(page, "lstPilotUsers")->isEnabled());
  EXPECT_EQ(child<QLineEdit>(page, "txtPilotUser")->text(), "Shared - Profile");
}

TEST_F(PalmRef, ContinueWritesTheSectionAndInstallsOnlyWhenTicked) {
  loadTree();
  writeFile(home() / "Palm" / "Orrery.prc", "viewer");
  Breg_WriteRegSettings("User", "PalmUserID", std::to_string(ann.id));
  frmPalmRef page;
  Bint_Ref2Pending() = true;
  child<QPushButton>(page, "cmdNext")->click();
  EXPECT_FALSE(Bint_Ref2Pending());
  EXPECT_TRUE(palm::toolStarts().empty());
  EXPECT_TRUE(palm::installQueue(ann.id).empty());
  EXPECT_TRUE(fs::exists(palm::userFolder(ann) / "Brackwater" / "Mappa" / "KestOrry.cdi"));

  child<QCheckBox>(page, "chkInstallViewer")->setChecked(true);
  page.cmdNext_Click();
  ASSERT_EQ(palm::toolStarts().size(), 1u);
  EXPECT_TRUE(palm::toolStarts()[0].program.ends_with("condreg.exe"));
  EXPECT_EQ(palm::installQueue(ann.id), std::vector<std::string>{"Orrery.prc"});
  EXPECT_EQ(Breg_GetRegSetting("User", "PalmUserID"), std::to_string(ann.id));
  EXPECT_TRUE(reports.empty());
}

TEST_F(PalmRef, TheWriterUsesTheLoadedPageWithoutShowingIt) {
  PageTable().setSlot(page::PalmRef, [] { return new frmPalmRef; });
  Bpm_PalmUserID() = ann.id;
  EXPECT_EQ(Bpm_GetUserName(ann.id), "Ann");
  auto* page = dynamic_cast<frmPalmRef*>(PageTable().loadedPage(page::PalmRef));
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->isVisible());
  EXPECT_EQ(palmRefUserData(), page->UserData1);
  EXPECT_EQ(Bpm_GetUserName(12345), "");  // not the previous user's folder
}

}  // namespace
}  // namespace pellary
