#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "core/registry.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "reference/psion/psion_transfer.h"
#include "reference_fixture.h"

namespace pellary::testing {
namespace {

// An engine whose device is a folder; it answers each call with the event the
// real control sends, delivered when the page yields.
class FakeEngine : public PsionEngineControl {
 public:
  explicit FakeEngine(fs::path root) : root_(std::move(root)) {}
  void start() override { answer(9, startCode); }
  void connect(int32_t) override {
    ++connects;
    answer(10, connectCodes.empty() ? 0 : next(connectCodes));
  }
  void requestDriveList(int16_t) override { events.push_back({26, 0, driveList}); }
  PsionDriveDetails driveDetails(int16_t, const std::string& drive) override {
    asked.push_back(drive);
    answer(17, 0);
    return drives[drive];
  }
  void copyFile(int16_t, const std::string& from, int16_t, const std::string& to, int32_t) override {
    calls.push_back("copy " + to);
    if (!copyCodes.empty()) return answer(11, next(copyCodes));
    fs::create_directories(at(to).parent_path());
    fs::copy_file(paths::resolve(from), at(to), fs::copy_options::overwrite_existing);
    answer(11, 0);
  }
  void deleteFolder(int16_t, const std::string& f) override {
    calls.push_back("delete " + f);
    fs::remove_all(at(f));
    answer(19, deleteCode);
  }
  void createFolder(int16_t, const std::string& f) override {
    calls.push_back("create " + f);
    fs::create_directories(at(f));
    answer(20, createCode);
  }
  void stopProgram(int16_t, const std::string& p) override {
    calls.push_back("stop " + p);
    answer(37, 0);
  }
  void pump() {
    while (!events.empty()) {
      auto [event, code, text] = events.front();
      events.pop_front();
      if (!silent) Bps5_EngineEvent(event, code, text);
    }
  }
  fs::path at(const std::string& device) const {
    std::string p = device;
    for (char& c : p)
      if (c == '\\') c = '/';
    return root_ / std::string(1, char(std::toupper(p[0]))) / p.substr(3);
  }

  int32_t startCode = 0, deleteCode = 0, createCode = 0;
  std::deque<int32_t> connectCodes, copyCodes;
  std::string driveList;
  std::map<std::string, PsionDriveDetails> drives;
  std::vector<std::string> asked, calls;
  int connects = 0;
  bool silent = false;

 private:
  static int32_t next(std::deque<int32_t>& q) {
    int32_t v = q.front();
    q.pop_front();
    return v;
  }
  void answer(int16_t event, int32_t code) { events.push_back({event, code, {}}); }
  struct Event {
    int16_t event;
    int32_t code;
    std::string text;
  };
  std::deque<Event> events;
  fs::path root_;
};

class MemoryPsionPage : public PsionPageView {
 public:
  struct Row {
    std::string text, freeSpace, freeBytes;
    bool grey;
  };
  void addDriveRow(const std::string& key, const std::string& text, const std::string& fs, const std::string& fb,
                   bool grey) override {
    order.push_back(key);
    rows[key] = {text, fs, fb, grey};
  }
  bool selectDrive(const std::string& key) override {
    if (!rows.count(key)) return false;
    selected = key;
    return true;
  }
  void clearSelection() override { selected.clear(); }
  bool driveGrey(const std::string& key) const override { return rows.count(key) && rows.at(key).grey; }
  void setInfo(const std::string& t) override { info = t; }
  void setNextEnabled(bool e) override { nextEnabled = e; }
  void normalPointer() override {}
  bool installViewer() const override { return viewer; }
  void setProgressToMaximum() override { progressFull = true; }
  std::map<std::string, Row> rows;
  std::vector<std::string> order;
  std::string selected, info;
  bool nextEnabled = false, viewer = false, progressFull = false;
};

class PsionTransfer : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    resetPsion5Ref();
    resetPsionTransfer();
    engine = std::make_unique<FakeEngine>(root() / "psion");
    PsionTransferState& s = Bps5Link();
    s.engine = engine.get();
    s.page = &page;
    s.yield = [this] {
      engine->pump();
      clock += 1;
    };
    s.clock = [this] { return clock; };
    Bps5().device = &ops;
    Bset().Bset_RefPlat2 = 16;
    Bps5_PsionSetup();
    for (long t : {1, 3}) choose(101, t);
    // One product: each product's copy empties the data folder and replaces the menu.
    Bset().Bset_InstalledProductCount = 1;
    const fs::path src = home() / "Reference" / "Psion5";
    fs::create_directories(src);
    writeFile(src / "101_3.txt", std::string(99, 'x'));
    Bhtm_LoadReferenceStructure();
    oldPresenter = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r.text);
      return mb::OK;
    });
  }
  void TearDown() override {
    setMessagePresenter(oldPresenter);
    resetPsionTransfer();
    resetPsion5Ref();
    ReferenceTest::TearDown();
  }
  void SetUpLinkAgain() {
    PsionTransferState& s = Bps5Link();
    s.engine = engine.get();
    s.page = &page;
    s.yield = [this] {
      engine->pump();
      clock += 1;
    };
    s.clock = [this] { return clock; };
  }
  // Starts the engine and lets the chain run to the drive list.
  void startPage() {
    engine->start();
    engine->pump();
  }
  std::unique_ptr<FakeEngine> engine;
  MemoryPsionPage page;
  PsionEngineDeviceOps ops;
  double clock = 0;
  MessagePresenter oldPresenter;
  std::vector<std::string> messages;
};

TEST_F(PsionTransfer, StartConnectsAndListsTheDrivesWithTheirSpace) {
  // Section: 1 + 99 bytes; a drive needs 300 bytes free to be usable.
  engine->connectCodes = {1121, 2402};
  engine->driveList = "C:\\ D:\\ E:\\ F:\\";
  engine->drives = {{"C:\\", {"Internal", 5000, 300}},
                    {"D:\\", {"Card", 9000, 301}},
                    {"E:\\", {"Full", 9000, 0}},
                    {"F:\\", {"Big card", 8e9, 5e9}}};
  startPage();
  EXPECT_EQ(engine->connects, 2);  // 1121 retries at once; 2402 counts as connected
  EXPECT_EQ(engine->asked, (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\"}));
  ASSERT_EQ(page.order.size(), 4u);
  EXPECT_TRUE(page.rows["C:\\"].grey);
  EXPECT_FALSE(page.rows["D:\\"].grey);
  EXPECT_TRUE(page.rows["E:\\"].grey);
  EXPECT_EQ(page.rows["D:\\"].text, "D:\\ ( Card )");
  EXPECT_EQ(page.rows["D:\\"].freeBytes, "301");
  EXPECT_EQ(page.rows["D:\\"].freeSpace, "0KB");
  // Beyond 2 GB the space is shown and compared as it is.
  EXPECT_FALSE(page.rows["F:\\"].grey);
  EXPECT_EQ(page.rows["F:\\"].freeBytes, "5000000000");
  EXPECT_EQ(page.rows["F:\\"].freeSpace, "4,882,813KB");
  EXPECT_TRUE(page.nextEnabled);
}

TEST_F(PsionTransfer, SeriesThreeListsOnlyDriveM) {
  Bset().Bset_RefPlat2 = 32;
  engine->driveList = "C:\\ M:\\";
  engine->drives = {{"C:\\", {"C", 1, 100000}}, {"M:\\", {"M", 1, 100000}}};
  startPage();
  EXPECT_EQ(page.order, std::vector<std::string>{"M:\\"});
}

TEST_F(PsionTransfer, AStoredDriveTheDeviceNoLongerHasKeepsNextDisabled) {
  Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
  engine->driveList = "C:\\";
  engine->drives = {{"C:\\", {"C", 1, 100000}}};
  startPage();
  EXPECT_FALSE(page.nextEnabled);
  Breg_WriteRegSettings("Settings", "Ref2Loc", "C:\\");
  resetPsionTransfer();
  SetUpLinkAgain();
  startPage();
  EXPECT_TRUE(page.nextEnabled);
  EXPECT_EQ(page.selected, "C:\\");
  EXPECT_EQ(page.info.rfind("The reference section on the device will be updated ", 0), 0u);
}

TEST_F(PsionTransfer, AGreyRowCannotBeChosen) {
  engine->driveList = "C:\\ D:\\";
  engine->drives = {{"C:\\", {"C", 1, 100000}}, {"D:\\", {"D", 1, 10}}};
  startPage();
  page.selectDrive("C:\\");
  Bps5_SelectDrive("C:\\");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "C:\\");
  page.selectDrive("D:\\");
  Bps5_SelectDrive("D:\\");
  EXPECT_EQ(page.selected, "C:\\");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "C:\\");
}

TEST_F(PsionTransfer, TimedOperationsTakeTheHarmlessAnswersAsSuccess) {
  engine->deleteCode = 3;
  engine->createCode = 183;
  EXPECT_TRUE(Bps5_KillDirectory("C:\\Pelmon\\gzr"));
  engine->copyCodes = {183};
  EXPECT_TRUE(Bps5_CopyToPsionAndWait("x", "C:\\x"));
  engine->createCode = 5;
  EXPECT_FALSE(Bps5_CreateDirAndWait("C:\\y"));
}

TEST_F(PsionTransfer, AFailedCopyEndsItsWaitAtOnceAndASilentEngineAtTheLimit) {
  engine->copyCodes = {33};
  EXPECT_FALSE(Bps5_CopyToPsionAndWait("x", "C:\\x"));
  EXPECT_LT(clock, 5);
  EXPECT_EQ(Bps5().lastStub, "Error : Please close viewer program on device");
  EXPECT_TRUE(page.nextEnabled);
  engine->silent = true;
  clock = 0;
  EXPECT_FALSE(Bps5_StopProgram("C:\\p.opo"));
  EXPECT_GT(clock, 300);
}

TEST_F(PsionTransfer, SeriesFiveNextCopiesTheSectionAndMovesOn) {
  Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
  Wizard().Bint_Ref2Pending = true;
  Wizard().Bmm_CurrentPage = page::PsionRef;
  Bps5_TotalSpaceRequired();
  EXPECT_TRUE(Bps5_Psion5Handler());
  EXPECT_EQ(reported, 0) << where;
  EXPECT_EQ(readFile(engine->at("D:\\Pelmon\\gzr\\101_3.txt")), std::string(99, 'x'));
  EXPECT_EQ(readFile(engine->at("C:\\system\\apps\\Mappa\\menu.txt")),
            "#begin\r\n1 Guide\r\n101_3.txt Phrases\r\n#end\r\n");
  EXPECT_TRUE(fs::exists(engine->at("C:\\system\\apps\\mappa\\menu.mnu")));
  EXPECT_EQ(engine->calls[engine->calls.size() - 2], "stop C:\\System\\Apps\\KestMenu\\MenuDisplay.opo");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Size"), "100");
  EXPECT_FALSE(Bint_Ref2Pending());
  EXPECT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "Please ensure the Mappa program is closed on your Psion device before clicking on OK to continue");
}

TEST_F(PsionTransfer, SeriesThreeNextInstallsTheViewerFiles) {
  Bset().Bset_RefPlat2 = 32;
  Bps5_PsionSetup();
  page.viewer = true;
  const fs::path src = home() / "Reference" / "Psion3";
  fs::create_directories(src);
  writeFile(src / "101_3.txt", "p");
  fs::create_directories(home() / "Psion3");
  for (const char* f : {"MenuComp.opo", "MenuDisp.opo", "Tube.opa", "backgrd.pic", "mappa.opa"})
    writeFile(home() / "Psion3" / f, f);
  Bps5_TotalSpaceRequired();
  EXPECT_TRUE(Bps5_Psion3Handler());
  EXPECT_EQ(reported, 0) << where;
  EXPECT_EQ(readFile(engine->at("M:\\app\\mappa.opa")), "mappa.opa");
  EXPECT_EQ(readFile(engine->at("M:\\app\\KESTMenu\\Tube.opa")), "Tube.opa");
  EXPECT_TRUE(fs::exists(engine->at("M:\\kest\\gzr99\\101_3.txt")));
  EXPECT_TRUE(page.progressFull);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[1].find("press 'Psion + I' and select 'Mappa.opa'"), std::string::npos);
  EXPECT_EQ(std::count(engine->calls.begin(), engine->calls.end(), std::string("create M:\\app\\")), 0);
}

}  // namespace
}  // namespace pellary::testing
