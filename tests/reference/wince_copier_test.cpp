#include <gtest/gtest.h>

#include "core/registry.h"
#include "reference/html_generator.h"
#include "reference/wince/wince_copier.h"
#include "reference_fixture.h"
#include "standins/wince/cecomms.h"

namespace pellary::testing {
namespace {

namespace ce = standins::wince;

class MemoryWinCEPage : public WinCEPageView {
 public:
  void setInfo(const std::string& t) override { info = t; }
  void setNextEnabled(bool e) override { nextEnabled = e; }
  void showLocationFrame() override { frameShown = true; }
  void setLocationEnabled(bool e) override { locationEnabled = e; }
  void addLocation(const std::string& t) override { locations.push_back(t); }
  int locationCount() const override { return int(locations.size()); }
  void selectLocation(int i) override { current = locations.at(size_t(i)); }
  void setLocationText(const std::string& t) override { current = t; }
  std::string locationText() const override { return current; }
  std::string info, current;
  std::vector<std::string> locations;
  bool nextEnabled = true, frameShown = false, locationEnabled = false;
};

class WinCECopy : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    resetWinCECopier();
    ce::resetConnection();
    ce::setDeviceAttached(true);
    Bwce().page = &page;
    Bhtm_Generator().winCEProgress = &bar;
    for (long t : {1, 2, 4, 22}) choose(101, t);
    Bhtm_LoadReferenceStructure();
  }
  void TearDown() override {
    resetWinCECopier();
    ce::resetConnection();
    ReferenceTest::TearDown();
  }
  void generate(int16_t platform) {
    Bset().Bset_RefPlat2 = platform;
    Bhtm_StartHTMLReferenceWriter(platform);
  }
  fs::path device(const std::string& p) const { return ce::onDevice(p); }
  MemoryWinCEPage page;
  MemoryProgressBar bar;
};

TEST_F(WinCECopy, SetupOffersTheCardsAndPreselectsTheFirst) {
  struct Case {
    std::vector<std::string> cards;
    const char* stored;
    std::vector<std::string> list;
    const char* preselected;
  } cases[] = {
      {{}, "Card B", {"Internal Memory"}, "Internal Memory"},
      {{"Card A", "Card B"}, "Card B", {"Internal Memory", "Card A", "Card B"}, "Card A"},
      {{"Card A"}, "", {"Internal Memory", "Card A"}, "Card A"},
      {{"Card A"}, "Internal Memory", {"Internal Memory", "Card A"}, "Internal Memory"},
  };
  for (const Case& c : cases) {
    resetWinCECopier();
    page = MemoryWinCEPage{};
    Bwce().page = &page;
    ce::setStorageCards(c.cards);
    Breg_WriteRegSettings("Settings", "Ref2Loc", c.stored);
    Bset().Bset_RefPlat2 = 4;
    Bwce_SetupWinCEScreen();
    EXPECT_TRUE(Bwce().Bwce_ConnectionMade);
    EXPECT_EQ(page.locations, c.list);
    EXPECT_EQ(page.current, c.preselected);
    EXPECT_TRUE(page.nextEnabled && page.frameShown && page.locationEnabled);
    EXPECT_EQ(page.info.rfind("The Reference Pages will now be copied to you handheld PC\r\n\r\n", 0), 0u);
  }
}

TEST_F(WinCECopy, CardNamesAreSplitAtTheSeparator) {
  const std::string sep(1, ce::kCardSeparator);
  EXPECT_EQ(splitStorageCards("A" + sep + "B" + sep + std::string(3, '\0')), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(splitStorageCards("A" + sep + sep + "B"), (std::vector<std::string>{"A", "", "B"}));
  EXPECT_TRUE(splitStorageCards("").empty());
}

TEST_F(WinCECopy, SizeIsThatOfTheOutputBeforeGeneration) {
  Bset().Bset_RefPlat2 = 8;
  Bwce_SetupWinCEScreen();
  EXPECT_EQ(Bwce().Bwce_ReferenceSize, 0);
  generate(8);
  Bwce_SetupWinCEScreen();
  int64_t total = 0;
  for (const auto& e : fs::directory_iterator(home() / "Reference/PPC/Output")) total += int64_t(e.file_size());
  EXPECT_EQ(Bwce().Bwce_ReferenceSize, total);
}

TEST_F(WinCECopy, HandheldCopyGoesToInternalMemoryWithAShortcut) {
  writeFile(device("\\Program Files\\Reference\\stale.htm"), "old copy");
  Breg_WriteRegSettings("Settings", "Ref2Loc", "Internal Memory");
  Bset().Bset_RefPlat2 = 4;
  Bwce_SetupWinCEScreen();
  generate(4);
  fs::create_directories(home() / "Reference/HPC/Output/Reference");
  writeFile(home() / "Reference/HPC/Output/Reference/extra.gif", "x");
  Bwce_TransferHPCReference();
  ASSERT_EQ(reported, 0) << where;
  for (const char* f : {"101_1.htm", "101_2.htm", "101_4.htm", "101_22.htm", "7_1.htm", "index.htm", "tuber.gif"})
    EXPECT_TRUE(fs::exists(device(std::string("\\Program Files\\Reference\\") + f))) << f;
  EXPECT_FALSE(fs::exists(device("\\Program Files\\Reference\\stale.htm")));
  EXPECT_TRUE(fs::exists(device("\\Program Files\\Reference\\extra.gif")));
  // Each product's top page gets a shortcut of its own.
  EXPECT_EQ(readFile(device("\\Windows\\Desktop\\Mappa Reference Data - 101.lnk")),
            "\"\\Program Files\\Reference\\101_1.htm\"");
  EXPECT_EQ(readFile(device("\\Windows\\Desktop\\Mappa Reference Data - 7.lnk")),
            "\"\\Program Files\\Reference\\7_1.htm\"");
  EXPECT_EQ(readFile(device("\\Program Files\\Reference\\101_1.htm")),
            readFile(home() / "Reference/HPC/Output/101_1.htm"));
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "Internal Memory");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Size"), "0");
  EXPECT_FALSE(ce::connected());
  EXPECT_EQ(bar.value(), bar.maximum());
  EXPECT_EQ(Bhtm_Generator().Bhtm_PageCount, 9);  // the nine listed files, one step each
}

TEST_F(WinCECopy, PalmSizedCopyToACardRewritesThePagesAndUsesTheStartMenu) {
  ce::setStorageCards({"Storage Card"});
  Bset().Bset_RefPlat2 = 8;
  Bwce_SetupWinCEScreen();
  ASSERT_EQ(page.current, "Storage Card");
  generate(8);
  writeFile(home() / "Reference/PPC/Output/101_4.htm",
            "<a href=\"\\PROGRAM FILES\\Reference\\x.htm\">\\Program Files\\Reference\\y</a>\r\nplain\r\n");
  Bwce_TransferPPCReference();
  ASSERT_EQ(reported, 0) << where;
  const std::string card = "\\Storage Card\\Reference\\";
  EXPECT_EQ(readFile(device(card + "101_4.htm")),
            "<a href=\"\\Storage Card\\Reference\\x.htm\">\\Program Files\\Reference\\y</a>\r\nplain\r\n");
  EXPECT_TRUE(fs::exists(device(card + "101_1.htm")));
  EXPECT_TRUE(fs::exists(device(card + "7_1.htm")));
  // Pictures and other files go to the Windows folder.
  EXPECT_TRUE(fs::exists(device("\\Windows\\tubemap.2bp")));
  EXPECT_FALSE(fs::exists(device(card + "tubemap.2bp")));
  // Two products: the start menu's page links to both top pages on the card.
  const std::string menu = readFile(device("\\Windows\\Start Menu\\Programs\\Mappa.htm"));
  EXPECT_NE(menu.find("<a href=\"\\Storage Card\\Reference\\101_1.htm\">101</a>"), std::string::npos) << menu;
  EXPECT_NE(menu.find("<a href=\"\\Storage Card\\Reference\\7_1.htm\">7</a>"), std::string::npos) << menu;
  EXPECT_FALSE(fs::exists(home() / "tmp"));
  EXPECT_FALSE(fs::exists(home() / "tmp_Mappa.htm"));
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "Storage Card");
  // Seven files listed, the two start pages count twice.
  EXPECT_EQ(Bhtm_Generator().Bhtm_PageCount, 9);
}

// A lone product's top page is the start menu's page, its links led into
// the folder the pages lie in.
TEST_F(WinCECopy, ALoneProductsStartMenuPageLinksIntoTheReferenceFolder) {
  exec("DELETE FROM REStructure WHERE Product_Id = 7");
  Bhtm_LoadReferenceStructure();
  Bset().Bset_RefPlat2 = 8;
  Bwce_SetupWinCEScreen();
  generate(8);
  Bwce_TransferPPCReference();
  ASSERT_EQ(reported, 0) << where;
  const std::string menu = readFile(device("\\Windows\\Start Menu\\Programs\\Mappa.htm"));
  EXPECT_NE(menu.find("<a href=\\Program Files\\Reference\\101_2.htm>Cities</a>"), std::string::npos) << menu;
}

TEST(WinCEStartPages, AnyProductNumberHasAStartPage) {
  const std::pair<const char*, bool> cases[] = {{"1_1.htm", true},     {"22_1.HTM", true},  {"101_1.htm", true},
                                                {"12345_1.htm", true}, {"1_12.htm", false}, {"_1.htm", false},
                                                {"a1_1.htm", false},   {"1_1.html", false}, {"1_2.htm", false}};
  for (const auto& [name, start] : cases) EXPECT_EQ(isStartPage(name), start) << name;
  EXPECT_EQ(
      withLinksInto("<a href=1_2.htm target=main>x</a><img src=\"m.gif\"><a href=\"#top\"><a href=\"http://e.org/\">"
                    "<a href=\"\\Windows\\y.htm\">",
                    "\\Card\\Reference\\"),
      "<a href=\\Card\\Reference\\1_2.htm target=main>x</a><img src=\"\\Card\\Reference\\m.gif\"><a href=\"#top\">"
      "<a href=\"http://e.org/\"><a href=\"\\Windows\\y.htm\">");
}

TEST_F(WinCECopy, InternalMemoryCopyLeavesThePagesUntouched) {
  Bset().Bset_RefPlat2 = 8;
  Bwce_SetupWinCEScreen();
  generate(8);
  const std::string text = "<a href=\"\\Program Files\\Reference\\x.htm\">";
  writeFile(home() / "Reference/PPC/Output/101_4.htm", text);
  Bwce_TransferPPCReference();
  EXPECT_EQ(readFile(home() / "Reference/PPC/Output/101_4.htm"), text);
  EXPECT_EQ(readFile(device("\\Program Files\\Reference\\101_4.htm")), text);
}

TEST_F(WinCECopy, AFailedCopyClosesTheConnectionAndIsReported) {
  Bset().Bset_RefPlat2 = 4;
  Bwce_SetupWinCEScreen();
  generate(4);
  // The device has no room for this one: a folder stands where the file goes.
  fs::create_directories(device("\\Program Files\\Reference\\101_2.htm\\x"));
  ce::setDeviceAttached(true);
  Bwce().Bwce_StoredLocation = "Card Z";  // the previous copy was elsewhere: nothing deleted here
  EXPECT_THROW(Bwce_TransferHPCReference(), ProgramEnded);
  EXPECT_EQ(reported, 20000);
  EXPECT_EQ(where, "Bwce_TransferHPCReference");
  EXPECT_EQ(currentError().description,
            "There was a problem copying files to your mobile device. Please ensure the device is corrected and try "
            "again.");
  EXPECT_FALSE(ce::connected());
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "Internal Memory");  // written before the files
}

TEST_F(WinCECopy, DisconnectedDeviceFailsAtTheFirstCopy) {
  ce::setDeviceAttached(false);
  Bset().Bset_RefPlat2 = 4;
  Bwce_SetupWinCEScreen();
  EXPECT_EQ(page.locations, std::vector<std::string>{"Internal Memory"});
  generate(4);
  EXPECT_THROW(Bwce_TransferHPCReference(), ProgramEnded);
  EXPECT_EQ(reported, 20000);
}

}  // namespace
}  // namespace pellary::testing
