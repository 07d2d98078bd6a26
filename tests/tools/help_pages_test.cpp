// The help as installed: a page per topic the program opens, a contents page
// listing them, and a search page that finds topics by their words when a
// real browser runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "platform/help/help.h"
#include "platform/process/process.h"
#include "support/fixtures.h"
#include "tools/help_pages.h"
#include "tools/install.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace help = platform::help;

// Every topic number the program asks for: the selection screen's popup Help
// (7), the Day-Timer page (69, 70), the selection screen's tips, and one per
// wizard page (200 + its slot) and dialog.
const std::set<int32_t> kOpenedTopics = {7,   69,  70,  90,  91,  92,  93,  94,  95,  96,  101,
                                         200, 202, 203, 204, 206, 207, 213, 215, 216, 217, 218,
                                         219, 220, 221, 222, 223, 224, 230, 231, 232, 233};

std::set<std::string> links(const std::string& html) {
  std::set<std::string> out;
  std::regex href(R"(href="([^"]+)\")");
  for (std::sregex_iterator it(html.begin(), html.end(), href), end; it != end; ++it) out.insert((*it)[1]);
  return out;
}

// The page as a headless browser leaves it after its scripts ran.
std::string renderedDom(const fs::path& page, const std::string& query) {
  std::string command = "chromium --headless --no-sandbox --disable-gpu --dump-dom 'file://" + page.string() +
                        "?q=" + query + "' 2>/dev/null";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

class HelpPages : public testing::IsolatedEnvTest {};

TEST_F(HelpPages, EveryOpenedTopicHasItsPageAndTheContentsListIt) {
  install::installProgramFolder({});
  std::set<int32_t> written;
  for (const install::HelpTopic& t : install::helpTopics()) written.insert(t.number);
  EXPECT_EQ(written, kOpenedTopics);
  const std::set<std::string> contents = links(testing::readFile(home() / "Help" / "index.htm"));
  for (int32_t topic : kOpenedTopics) {
    const std::string page = "topic" + std::to_string(topic) + ".htm";
    EXPECT_EQ(help::pageFor(help::Command::Topic, topic), home() / "Help" / page) << topic;
    EXPECT_FALSE(help::topicText(topic).empty()) << topic;
    EXPECT_TRUE(contents.count(page)) << page;
  }
  EXPECT_EQ(help::pageFor(help::Command::Search), home() / "Help" / "search.htm");
  // The contents follow the run: welcome, selection, summary, the writers, the last page, then the windows.
  const std::string index = testing::readFile(home() / "Help" / "index.htm");
  size_t before = 0;
  for (int32_t topic : {200, 219, 90, 7, 202, 218, 204, 216, 217, 230}) {
    const size_t at = index.find("topic" + std::to_string(topic) + ".htm");
    ASSERT_NE(at, std::string::npos) << topic;
    EXPECT_GT(at, before) << topic << " is out of the run's order";
    before = at;
  }
  // A topic's text is the topic alone, without the page's links.
  EXPECT_EQ(help::topicText(204).find("Contents"), std::string::npos) << help::topicText(204);
}

TEST_F(HelpPages, SearchFindsTopicsByTheWordsOfTheirText) {
  if (platform::process::findProgram("chromium").empty()) GTEST_SKIP() << "no chromium";
  install::installProgramFolder({});
  const fs::path search = home() / "Help" / "search.htm";
  struct Case {
    const char* query;
    std::set<std::string> pages;
  } cases[] = {
      {"green%20arrow", {"topic93.htm", "topic96.htm"}},
      {"PASSWORD", {"topic70.htm"}},
      {"hotsync%20user", {"topic215.htm"}},
      {"tabs%20scroll", {"topic91.htm"}},
      {"nowhere-at-all", {}},
  };
  for (const Case& c : cases) {
    const std::string dom = renderedDom(search, c.query);
    ASSERT_NE(dom.find("id=\"results\""), std::string::npos) << dom;
    const std::string results = dom.substr(dom.find("id=\"results\""));
    std::set<std::string> found = links(results.substr(0, results.find("</ul>")));
    EXPECT_EQ(found, c.pages) << c.query;
  }
}

}  // namespace
}  // namespace pellary
