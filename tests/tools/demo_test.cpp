#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/databank.h"
#include "core/registry.h"
#include "platform/dao/dao.h"
#include "support/fixtures.h"
#include "tools/install.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;

class DemoInstall : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    const char* bin = std::getenv("PELLARY_TEST_BIN");
    if (!bin || !fs::exists(fs::path(bin) / "hushbank")) GTEST_SKIP() << "hushbank not built";
    options.demo = true;
    options.hushbank = fs::path(bin) / "hushbank";
  }
  void TearDown() override {
    Bsql_CloseDataBank();
    IsolatedEnvTest::TearDown();
  }
  long count(const std::string& sql) { return Bsql_DataBank().openRecordset(sql).recordCount(); }
  install::Options options;
};

// One bad event row in the middle of the shipped events: every other event
// and every file after the events file still load.
TEST_F(DemoInstall, OneBadEventRowInTheMiddleLoadsEverythingElse) {
  const fs::path data = root() / "data";
  fs::copy(install::defaultDataFolder(), data, fs::copy_options::recursive);
  const fs::path events = data / "CUE" / "events.kest";
  std::vector<std::string> lines;
  {
    std::istringstream in(testing::readFile(events));
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line + "\n");
  }
  ASSERT_GT(lines.size(), 100u);
  const size_t middle = lines.size() / 2;
  const std::string badID = lines[middle].substr(0, lines[middle].find(','));
  // The start date is no number.
  std::string& bad = lines[middle];
  size_t field = 0, at = 0;
  for (bool quoted = false; at < bad.size() && field < 4; ++at) {
    if (bad[at] == '"') quoted = !quoted;
    if (bad[at] == ',' && !quoted) ++field;
  }
  bad.insert(at, "x");
  std::string text;
  for (const std::string& l : lines) text += l;
  testing::writeFile(events, text);

  options.dataFolder = data;
  install::Result r = install::installProgramFolder(options);
  EXPECT_TRUE(r.demoLoaded) << ::testing::PrintToString(r.notes);
  EXPECT_TRUE(fs::is_empty(home() / "CUE")) << "every demo file processed";
  Bsql_OpenDataBanks();
  EXPECT_EQ(count("SELECT * FROM Event"), long(lines.size()) - 1);
  EXPECT_EQ(count("SELECT * FROM Event WHERE EventID = " + badID), 0);
  EXPECT_EQ(count("SELECT * FROM Products"), 3);
  EXPECT_GT(count("SELECT * FROM RETemplate"), 0);
  EXPECT_GT(count("SELECT * FROM REStructure"), 0);
  const std::string log = testing::readFile(home() / "LY98ERR.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("\"Bcue_MergeInEvents\",13,"), std::string::npos) << log;
}

TEST_F(DemoInstall, FillsTheDatabankAndEntersTheProducts) {
  install::Result r = install::installProgramFolder(options);
  EXPECT_TRUE(r.demoLoaded);
  EXPECT_TRUE(fs::is_empty(home() / "CUE")) << "every demo file loaded";
  EXPECT_FALSE(fs::exists(home() / "LY98ERR.log"));

  Bsql_OpenDataBanks();
  EXPECT_EQ(count("SELECT * FROM Products"), 3);
  EXPECT_GE(count("SELECT * FROM Event WHERE Status = 1"), 300);
  EXPECT_GE(count("SELECT * FROM EventCat"), 300);
  // Every event links to a category, and every link to an event.
  EXPECT_EQ(count("SELECT * FROM Event WHERE EventID NOT IN (SELECT EventID FROM EventCat)"), 0);
  EXPECT_EQ(count("SELECT * FROM EventCat WHERE CatID NOT IN (SELECT CatID FROM Tertiary)"), 0);
  EXPECT_GT(count("SELECT * FROM Tertiary WHERE CatSettings = 1"), 10) << "public-holiday countries";
  EXPECT_GT(count("SELECT * FROM Event WHERE OnSale IS NOT NULL"), 50);
  EXPECT_GT(count("SELECT * FROM RETemplate"), 0);
  // 1 and 100 name the program's own other-products and combined entries.
  for (const char* table : {"Products", "Primary", "Secondary", "Tertiary"})
    EXPECT_EQ(count(std::string("SELECT * FROM ") + table + " WHERE ProductID IN (1, 100)"), 0) << table;
  EXPECT_EQ(count("SELECT * FROM RETemplate WHERE Product_Id IN (1, 100)"), 0);
  EXPECT_GT(count("SELECT * FROM REStructure"), 0);
  // Memo line breaks arrive as CR LF, accents as UTF-8.
  EXPECT_GT(count("SELECT * FROM Event WHERE Memo LIKE '%' || char(13) || char(10) || '%'"), 0);
  EXPECT_EQ(count("SELECT * FROM Event WHERE Title = 'F\xc3\xaate nationale'"), 1);

  EXPECT_EQ(Breg_GetRegSetting("Support", "Node0"), "");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node1"), "");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node2"), "4");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node3"), "2");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node4"), "3");
  EXPECT_EQ(Breg_GetRegSetting("Support", "HighNodeCount"), "4");
}

TEST_F(DemoInstall, SecondRunAddsNothing) {
  install::installProgramFolder(options);
  Bsql_OpenDataBanks();
  long events = count("SELECT * FROM Event");
  long links = count("SELECT * FROM EventCat");
  Bsql_CloseDataBank();
  install::installProgramFolder(options);
  Bsql_OpenDataBanks();
  EXPECT_EQ(count("SELECT * FROM Event"), events);
  EXPECT_EQ(count("SELECT * FROM EventCat"), links);
  EXPECT_EQ(count("SELECT * FROM Products"), 3);
  EXPECT_EQ(Breg_GetRegSetting("Support", "HighNodeCount"), "4");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node5"), "");
}

TEST_F(DemoInstall, BadDemoFileIsReportedAndStays) {
  testing::TempDir data;
  fs::create_directories(data.path() / "CUE");
  testing::writeFile(data.path() / "CUE" / "Primary.cue", "1,10,\"Holidays\",1\r\n");
  testing::writeFile(data.path() / "CUE" / "Secondary.cue", "1,10,1,\"Europe\"\r\n");
  options.dataFolder = data.path();
  install::Result r = install::installProgramFolder(options);
  EXPECT_FALSE(r.demoLoaded);
  bool named = false;
  for (const std::string& n : r.notes) named = named || n.find("Secondary.cue") != std::string::npos;
  EXPECT_TRUE(named);
  EXPECT_TRUE(fs::exists(home() / "CUE" / "Secondary.cue"));
  EXPECT_TRUE(fs::exists(home() / "LY98ERR.log"));
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node2"), "");
}

TEST(InstalledProducts, PartnerEntriesAndNamedProductsAreKept) {
  testing::TempDir settings;
  const char* old = std::getenv("PELLARY_SETTINGS");
  std::string kept = old ? old : "";
  setenv("PELLARY_SETTINGS", settings.path().c_str(), 1);
  Breg_WriteRegSettings("Support", "Node0", "7");
  Breg_WriteRegSettings("Support", "Node2", "1");
  Breg_WriteRegSettings("Support", "HighNodeCount", "2");
  install::addInstalledProducts({1, 7, 2});
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node1"), "");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node2"), "1");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Node3"), "2");
  EXPECT_EQ(Breg_GetRegSetting("Support", "HighNodeCount"), "3");
  if (old)
    setenv("PELLARY_SETTINGS", kept.c_str(), 1);
  else
    unsetenv("PELLARY_SETTINGS");
}

}  // namespace
}  // namespace pellary
