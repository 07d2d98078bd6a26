#include <gtest/gtest.h>

#include <algorithm>

#include "core/registry.h"
#include "platform/paths.h"
#include "reference/psion/psion_section.h"
#include "reference_fixture.h"

namespace pellary::testing {
namespace {

// A device whose drives are folders; records the calls.
class FolderDevice : public PsionDeviceOps {
 public:
  explicit FolderDevice(fs::path root) : root_(std::move(root)) {}
  bool killDirectory(const std::string& folder) override {
    calls.push_back("kill " + folder);
    fs::remove_all(at(folder));
    fs::create_directories(at(folder));
    return !failKill;
  }
  bool copyToPsionAndWait(const std::string& pc, const std::string& device) override {
    calls.push_back("copy " + device);
    if (device.find(failOn) != std::string::npos && !failOn.empty()) return false;
    fs::create_directories(at(device).parent_path());
    fs::copy_file(paths::resolve(pc), at(device), fs::copy_options::overwrite_existing);
    return true;
  }
  bool createDirAndWait(const std::string& folder) override {
    calls.push_back("mkdir " + folder);
    fs::create_directories(at(folder));
    return failOn.empty() || folder.find(failOn) == std::string::npos;
  }
  bool stopProgram(const std::string& program) override {
    calls.push_back("stop " + program);
    return true;
  }
  fs::path at(const std::string& device) const {
    std::string p = device;
    for (char& c : p)
      if (c == '\\') c = '/';
    return root_ / p.substr(0, 1) / p.substr(3);
  }
  std::vector<std::string> calls;
  std::string failOn;
  bool failKill = false;

 private:
  fs::path root_;
};

class PsionSection : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    resetPsion5Ref();
    for (long t : {1, 2, 3, 4, 22}) choose(101, t);
    const fs::path src = home() / "Reference" / "Psion5";
    fs::create_directories(src);
    writeFile(src / "101_3.txt", "phrases");   // 7 bytes
    writeFile(src / "101_4.txt", "London!!");  // 8 bytes
    writeFile(src / "tubemap.mbm", "map");     // 3 bytes
    writeFile(src / "101_22.txt", "not this one");
    Bset().Bset_RefPlat2 = 16;
    Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
    Bps5_PsionSetup();
    Bhtm_LoadReferenceStructure();
    devicePtr = std::make_unique<FolderDevice>(root() / "psion");
    Bps5().device = devicePtr.get();
    Bps5().progress = &bar;
  }
  void TearDown() override {
    resetPsion5Ref();
    ReferenceTest::TearDown();
  }
  std::unique_ptr<FolderDevice> devicePtr;
  FolderDevice& device() { return *devicePtr; }
  MemoryProgressBar bar;
};

TEST_F(PsionSection, MeasuringCountsTheLeavesAndWritesOnlyAnEmptyTree) {
  EXPECT_EQ(Bps5().Bps5_PlatformFolder, "Psion5");
  EXPECT_EQ(Bps5_TotalSpaceRequired(), 1 + 7 + 8 + 3);
  EXPECT_EQ(Bps5().Bps5_FilesTotal, 4);
  EXPECT_EQ(readFile(home() / "101_menu.txt"), "");
  EXPECT_EQ(readFile(home() / "7_menu.txt"), "#begin\r\nBasics\r\n#end");
  EXPECT_TRUE(device().calls.empty());
}

TEST_F(PsionSection, CopyWritesBreadthFirstBlocksAndCopiesEveryFile) {
  Bps5_TotalSpaceRequired();
  EXPECT_EQ(Bps5_OutputReferenceSection(1, "menu.txt", "Psion5", true), 19);
  EXPECT_EQ(readFile(home() / "101_menu.txt"),
            "#begin\r\n1 Guide\r\n2 Cities\r\n101_3.txt Phrases\r\ntubemap.mbm Tube map\r\n#end\r\n"
            "#begin\r\n2 Cities\r\n101_4.txt London\r\n#end\r\n");
  // The data folder is emptied once; one menu goes to the device.
  const std::vector<std::string> want = {"kill D:\\Pelmon\\gzr", "copy D:\\Pelmon\\gzr\\101_3.txt",
                                         "copy D:\\Pelmon\\gzr\\tubemap.mbm", "copy D:\\Pelmon\\gzr\\101_4.txt",
                                         "copy C:\\system\\apps\\Mappa\\menu.txt"};
  EXPECT_EQ(device().calls, want);
  // Product 7 has nothing chosen: the device menu is product 101's alone.
  EXPECT_EQ(readFile(device().at("C:\\system\\apps\\Mappa\\menu.txt")), readFile(home() / "101_menu.txt"));
  EXPECT_EQ(Bps5().Bps5_FilesCopied, 4);  // three files and the menu
  EXPECT_EQ(bar.maximum(), 4);
  EXPECT_EQ(bar.value(), 3);
}

// Two products with chosen topics both stay on the device, each under its
// own root in one menu whose node numbers do not collide.
TEST_F(PsionSection, SeveralProductsShareTheDeviceAndItsMenu) {
  choose(7, 2);
  writeFile(home() / "Reference/Psion5/7_2.txt", "intro");
  Bhtm_LoadReferenceStructure();
  Bps5_TotalSpaceRequired();
  EXPECT_EQ(Bps5_OutputReferenceSection(1, "menu.txt", "Psion5", true), 1 + 7 + 8 + 3 + 5);
  EXPECT_EQ(readFile(home() / "7_menu.txt"), "#begin\r\n1 Basics\r\n7_2.txt Intro\r\n#end\r\n");
  EXPECT_EQ(readFile(device().at("C:\\system\\apps\\Mappa\\menu.txt")),
            "#begin\r\n1 Mappa Reference Data\r\n2 Guide\r\n7 Basics\r\n#end\r\n"
            "#begin\r\n2 Guide\r\n3 Cities\r\n101_3.txt Phrases\r\ntubemap.mbm Tube map\r\n#end\r\n"
            "#begin\r\n3 Cities\r\n101_4.txt London\r\n#end\r\n"
            "#begin\r\n7 Basics\r\n7_2.txt Intro\r\n#end\r\n");
  for (const char* file : {"101_3.txt", "101_4.txt", "tubemap.mbm", "7_2.txt"})
    EXPECT_TRUE(fs::exists(device().at(std::string("D:\\Pelmon\\gzr\\") + file))) << file;
  EXPECT_EQ(std::count(device().calls.begin(), device().calls.end(), "kill D:\\Pelmon\\gzr"), 1);
}

// Names reach the device in its code page: 850 on a Series 3, 1252 on a Series 5.
TEST_F(PsionSection, NamesAreWrittenInTheDevicesCodePage) {
  exec(
      "UPDATE RETemplate SET Name = 'F\xC3\xAAtes & <neu> \xC2\xA9 \xCE\xA9' WHERE Product_Id = 101 AND Template_Id = 3");
  Bhtm_LoadReferenceStructure();
  struct Case {
    int16_t code;
    const char* folder;
    const char* leaf;
    std::string name;
  } cases[] = {{16, "Psion5", "101_3.txt", "F\xEAtes & <neu> \xA9 ?"},
               {32, "Psion3", "101_3.txt", "F\x88tes & <neu> \xB8 ?"}};
  for (const Case& c : cases) {
    Bset().Bset_RefPlat2 = c.code;
    Bps5_PsionSetup();
    const fs::path src = home() / "Reference" / c.folder;
    fs::create_directories(src);
    for (const char* f : {"101_3.txt", "101_4.txt", "101_22.txt"}) writeFile(src / f, "x");
    Bps5_TotalSpaceRequired();
    ASSERT_NE(Bps5_OutputReferenceSection(1, "menu.txt", c.folder, true), 0);
    EXPECT_NE(readFile(home() / "101_menu.txt").find(std::string(c.leaf) + " " + c.name + "\r\n"), std::string::npos)
        << c.code << ": " << readFile(home() / "101_menu.txt");
  }
}

// A name from an update packet with line breaks in it stays one menu line:
// no block, leaf or #end of its own.
TEST_F(PsionSection, ALineBreakInANameForgesNoMenuLine) {
  exec(
      "UPDATE RETemplate SET Name = 'Phrases' || char(13) || char(10) || '#end' || char(10) || '#begin' || "
      "char(13) || 'evil.txt Fake' WHERE Product_Id = 101 AND Template_Id = 3");
  Bhtm_LoadReferenceStructure();
  for (int16_t code : {int16_t(16), int16_t(32)}) {
    Bset().Bset_RefPlat2 = code;
    Bps5_PsionSetup();
    const fs::path src = home() / "Reference" / (code == 16 ? "Psion5" : "Psion3");
    fs::create_directories(src);
    for (const char* f : {"101_3.txt", "101_4.txt", "101_22.txt"}) writeFile(src / f, "x");
    Bps5_TotalSpaceRequired();
    ASSERT_NE(Bps5_OutputReferenceSection(1, "menu.txt", code == 16 ? "Psion5" : "Psion3", true), 0);
    const std::string menu = readFile(home() / "101_menu.txt");
    EXPECT_NE(menu.find("101_3.txt Phrases  #end #begin evil.txt Fake\r\n"), std::string::npos) << code << ": " << menu;
    EXPECT_EQ(menu.find("\n#end\n"), std::string::npos);
    EXPECT_EQ(std::count(menu.begin(), menu.end(), '\r'), std::count(menu.begin(), menu.end(), '\n'))
        << "every line ends in CR LF and nothing else breaks a line";
  }
}

TEST_F(PsionSection, SeriesThreeSearchesEveryLeafAndUsesItsOwnFolders) {
  Bset().Bset_RefPlat2 = 32;
  Bps5_PsionSetup();
  const fs::path src = home() / "Reference" / "Psion3";
  fs::create_directories(src);
  for (const char* f : {"101_3.txt", "101_4.txt", "101_22.pic"}) writeFile(src / f, "x");
  Bps5_TotalSpaceRequired();
  EXPECT_EQ(Bps5_OutputReferenceSection(1, "menu.txt", "Psion3", true), 4);
  EXPECT_NE(readFile(home() / "101_menu.txt").find("101_22.pic Tube map\r\n"), std::string::npos);
  EXPECT_EQ(device().calls.front(), "kill M:\\kest\\gzr99");
  EXPECT_EQ(device().calls.back(), "copy M:\\app\\Mappa\\menu.txt");
}

// A leaf's file is the first source file, in name order, that starts with its
// numbers, whatever the letter case of the rest; a longer number is another topic's.
TEST_F(PsionSection, ALeafTakesTheFirstFileStartingWithItsNumbers) {
  const fs::path src = home() / "Reference" / "Psion5";
  fs::remove(src / "101_3.txt");
  writeFile(src / "101_3.pic", "second");
  writeFile(src / "101_3.TXT", "first");
  writeFile(src / "101_30.txt", "another topic");
  EXPECT_EQ(Bps5_TotalSpaceRequired(), 1 + 5 + 8 + 3);
  EXPECT_EQ(Bps5_OutputReferenceSection(1, "menu.txt", "Psion5", true), 1 + 5 + 8 + 3);
  EXPECT_NE(readFile(home() / "101_menu.txt").find("101_3.TXT Phrases\r\n"), std::string::npos);
  EXPECT_EQ(std::count(device().calls.begin(), device().calls.end(), "copy D:\\Pelmon\\gzr\\101_3.TXT"), 1);
}

TEST_F(PsionSection, DeviceFailuresEndTheCopyWithZero) {
  Bps5_TotalSpaceRequired();
  device().failOn = "tubemap";
  EXPECT_EQ(Bps5_OutputReferenceSection(1, "menu.txt", "Psion5", true), 0);
  device().failOn.clear();
  device().failKill = true;
  EXPECT_EQ(Bps5_OutputReferenceSection(1, "menu.txt", "Psion5", true), 0);
  EXPECT_EQ(Bps5().lastStub, "Failed to clean up directory D:\\Pelmon\\gzr");
}

TEST_F(PsionSection, ErrorsAreReportedUnderTheOutputName) {
  struct Case {
    int16_t platform;
    const char* removeFile;
    long number;
  } cases[] = {{2, "", 10105}, {16, "101_4.txt", err::FileNotFound}};
  for (const Case& c : cases) {
    Bset().Bset_RefPlat2 = c.platform;
    if (*c.removeFile) fs::remove(home() / "Reference" / "Psion5" / c.removeFile);
    reported = 0;
    EXPECT_THROW(Bps5_TotalSpaceRequired(), ProgramEnded);
    EXPECT_EQ(reported, c.number);
    EXPECT_EQ(where, "Bps5_OutputPsionReference");
  }
}

TEST_F(PsionSection, FreeSpaceNeedReplacesTheOldSectionAndAddsTheViewer) {
  bool viewer = false;
  Bps5().installViewer = [&] { return viewer; };
  Breg_WriteRegSettings("Settings", "Ref2Size", "10");
  EXPECT_EQ(Bps5_FreeSpaceRequired(), 9);
  viewer = true;
  EXPECT_EQ(Bps5_FreeSpaceRequired(), 9 + kPsionViewerBytes);
  viewer = false;
  Breg_WriteRegSettings("Settings", "Ref2Size", "100000");
  EXPECT_EQ(Bps5_FreeSpaceRequired(), 0);
  EXPECT_EQ(Bps5().Bps5_RequiredSize, 0);
}

TEST(PsionFormat, WholeKilobytesWithSeparators) {
  const std::pair<int64_t, const char*> cases[] = {{0, "0KB"},
                                                   {511, "0KB"},
                                                   {1536, "2KB"},
                                                   {1048576, "1,024KB"},
                                                   {2147483647, "2,097,152KB"},
                                                   {64LL << 30, "67,108,864KB"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(Bps5_FormatFreeSpace(bytes), text) << bytes;
}

}  // namespace
}  // namespace pellary::testing
