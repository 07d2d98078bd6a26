// The demo's reference sources go through the generator with the demo's topics.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "reference/html_generator.h"
#include "reference_fixture.h"
#include "tools/install.h"

namespace pellary::testing {
namespace {

class DemoSources : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    const fs::path data = install::defaultDataFolder();
    fs::remove_all(home() / "Reference");
    fs::copy(data / "Reference", home() / "Reference", fs::copy_options::recursive);
    fs::create_directories(home() / "Reference" / "HPC" / "Output");
    fs::create_directories(home() / "Reference" / "PPC" / "Output");
    exec("DELETE FROM RETemplate");
    exec("DELETE FROM REStructure");
    loadTable(data / "CUE" / "RETEMPLATE.cue", [this](const std::vector<std::string>& f) {
      exec("INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status) VALUES (" + f[0] + ", " + f[1] + ", " +
           f[2] + ", " + f[3] + ")");
      topics.emplace_back(std::stoi(f[0]), std::stoi(f[1]));
    });
    loadTable(data / "CUE" / "RESTRUCTURE.cue", [](const std::vector<std::string>& f) {
      exec("INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status) VALUES (" + f[0] + ", " +
           f[1] + ", " + f[2] + ", " + f[3] + ")");
    });
    // Every product of the demo installed, every topic chosen.
    std::set<int> products;
    for (const auto& [p, t] : topics) {
      products.insert(p);
      choose(p, t);
    }
    int i = 0;
    for (int p : products) Bset().Bset_ProductID[size_t(i++)] = int16_t(p);
    Bset().Bset_InstalledProductCount = int16_t(i);
  }
  std::vector<std::pair<int, int>> topics;
  // Splits the table file's rows at commas; quoted names keep their quotes for the SQL.
  static void loadTable(const fs::path& file, const std::function<void(const std::vector<std::string>&)>& row) {
    std::istringstream in(readFile(file));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      std::vector<std::string> fields;
      std::string cur;
      bool quoted = false;
      for (char c : line) {
        if (c == '"')
          quoted = !quoted, cur += '\'';
        else if (c == ',' && !quoted)
          fields.push_back(cur), cur.clear();
        else
          cur += c;
      }
      fields.push_back(cur);
      row(fields);
    }
  }
};

TEST_F(DemoSources, EveryPlatformGeneratesALinkedSection) {
  Bhtm_LoadReferenceStructure();
  const std::pair<int16_t, const char*> platforms[] = {
      {1, "PCMappa"}, {4, "Reference/HPC/Output"}, {8, "Reference/PPC/Output"}};
  for (const auto& [code, folder] : platforms) {
    Bhtm_StartHTMLReferenceWriter(code);
    ASSERT_EQ(reported, 0) << where;
    const fs::path out = home() / folder;
    for (const auto& [p, t] : topics) {
      const std::string page = std::to_string(p) + "_" + std::to_string(t) + ".htm";
      EXPECT_TRUE(fs::exists(out / page)) << folder << " " << page;
    }
    std::regex href("href=([^ >\"]+)");
    for (const std::string& name : files(out)) {
      if (name.find(".htm") == std::string::npos) continue;
      const std::string text = readFile(out / name);
      EXPECT_EQ(text.find("<!"), std::string::npos) << name;
      for (std::sregex_iterator it(text.begin(), text.end(), href), end; it != end; ++it)
        if (std::string((*it)[1]).find('\\') == std::string::npos) {
          EXPECT_TRUE(fs::exists(out / std::string((*it)[1]))) << folder << " " << name << " -> " << (*it)[1];
        }
    }
  }
  EXPECT_NE(readFile(home() / "PCMappa/4_2.htm").find("<a href=4_5.htm target=main>Bank holidays explained</a>"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(home() / "PCMappa/index.htm"));
}

}  // namespace
}  // namespace pellary::testing
