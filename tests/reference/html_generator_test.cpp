#include <gtest/gtest.h>

#include <regex>

#include "reference/html_generator.h"
#include "reference_fixture.h"

namespace pellary::testing {
namespace {

class PageWriter : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    Bhtm_Generator().pcProgress = &pcBar;
    Bhtm_Generator().winCEProgress = &ceBar;
  }
  fs::path pc() const { return home() / "PCMappa"; }
  std::string page(const std::string& name) const { return readFile(pc() / name); }
  // The href values of a page, without the attribute that may follow.
  static std::vector<std::string> links(const std::string& html) {
    std::vector<std::string> out;
    std::regex href("href=([^ >]*)");
    for (std::sregex_iterator it(html.begin(), html.end(), href), end; it != end; ++it) out.push_back((*it)[1]);
    return out;
  }
  MemoryProgressBar pcBar, ceBar;
};

TEST_F(PageWriter, PcSectionIsLinkedFromTheTemplates) {
  for (long t : {1, 2, 4, 22}) choose(101, t);
  choose(7, 2);
  writeFile(pc() / "old.htm", "from an earlier run");
  fs::create_directories(pc() / "keep");
  Bhtm_LoadReferenceStructure();
  Bhtm_StartHTMLReferenceWriter(1);
  ASSERT_EQ(reported, 0) << where;

  EXPECT_EQ(files(pc()), (std::set<std::string>{"index.htm", "tubemap.gif", "101_1.htm", "101_2.htm", "101_4.htm",
                                                "101_22.htm", "7_1.htm", "7_2.htm"}));
  EXPECT_TRUE(fs::is_directory(pc() / "keep"));

  const std::string root = page("101_1.htm");
  EXPECT_EQ(root,
            // The template declares no character set: the page says Windows-1252.
            "<html><head><meta charset=windows-1252><title>Guide</title></head><body><h1>Guide</h1><a href=></a><ul>"
            "<li><a href=101_2.htm>Cities</a></li><li><a href=101_22.htm target=main>Tube map</a></li>"
            "</ul></body></html>\r\n");
  const std::string cities = page("101_2.htm");
  EXPECT_NE(cities.find("<a href=101_1.htm>Back to Guide</a>"), std::string::npos);
  EXPECT_NE(cities.find("<li><a href=101_4.htm target=main>London</a></li>"), std::string::npos);
  EXPECT_EQ(cities.find("Paris"), std::string::npos);
  EXPECT_EQ(page("101_4.htm"), "content 101_4");
  EXPECT_NE(page("7_1.htm").find("<a href=7_2.htm target=main>Intro</a>"), std::string::npos);

  // Every link of every generated page leads to a page of the section.
  for (const char* name : {"101_1.htm", "101_2.htm", "7_1.htm"})
    for (const std::string& target : links(page(name))) {
      if (!target.empty()) {
        EXPECT_TRUE(fs::exists(pc() / target)) << name << " -> " << target;
      }
    }
  for (const std::string& name : files(pc())) {
    const std::string text = page(name);
    for (const char* marker : {"<!TITLE!>", "<!PARENT_TITLE!>", "<!PARENT_ID!>", "<!CHILD_ID!>", "<!CHILD_NAME!>",
                               "<!CHILD!>", "<!CHILD>", "<CHILD!>"})
      EXPECT_EQ(text.find(marker), std::string::npos) << name << " keeps " << marker;
  }
  // 7_1 is written though its root is not chosen: not counted, and the bar holds at its end.
  EXPECT_EQ(Bhtm_Generator().Bhtm_PageCount, 2);
  EXPECT_EQ(pcBar.maximum(), 2);
  EXPECT_EQ(pcBar.value(), 2);
}

// Sources are found in any letter case, and a page meets a permanent file of
// its name in another case rather than standing beside it.
TEST_F(PageWriter, NamesAreFoundWithoutRegardToLetterCase) {
  const fs::path src = home() / "Reference" / "PC" / "Source";
  fs::rename(src / "101_4.htm", src / "101_4.HTM");
  writeFile(src / "Perm" / "101_2.HTM", "a permanent file");
  for (long t : {1, 2, 4}) choose(101, t);
  Bhtm_LoadReferenceStructure();
  Bhtm_StartHTMLReferenceWriter(1);
  ASSERT_EQ(reported, 0) << where;
  EXPECT_EQ(files(pc()), (std::set<std::string>{"index.htm", "101_1.htm", "101_2.HTM", "101_4.htm", "7_1.htm"}));
  EXPECT_EQ(page("101_4.htm"), "content 101_4");
  EXPECT_NE(page("101_2.HTM").find("London"), std::string::npos);
}

TEST_F(PageWriter, HandheldLinksCarryNoTargetAndGetTheirMapImages) {
  for (long t : {1, 22}) choose(101, t);
  struct Case {
    int16_t platform;
    const char* output;
    std::set<std::string> images;
  } cases[] = {{4, "HPC", {"tuber.gif", "tubem.gif", "tubel.gif"}}, {8, "PPC", {"tubemap.2bp"}}};
  Bhtm_LoadReferenceStructure();
  for (const Case& c : cases) {
    Bhtm_StartHTMLReferenceWriter(c.platform);
    const fs::path out = home() / "Reference" / c.output / "Output";
    std::set<std::string> want = c.images;
    want.insert({"index.htm", "101_1.htm", "101_22.htm", "7_1.htm"});
    EXPECT_EQ(files(out), want) << c.output;
    EXPECT_NE(readFile(out / "101_1.htm").find("<a href=101_22.htm>Tube map</a>"), std::string::npos);
  }
  EXPECT_EQ(ceBar.maximum(), 1);
}

TEST_F(PageWriter, RootWithoutSelectedChildrenShowsTheEmptyPageText) {
  Bhtm_LoadReferenceStructure();
  Bhtm_StartHTMLReferenceWriter(1);
  const std::string root = page("101_1.htm");
  EXPECT_NE(root.find("<ul>This page is empty because there are currently no reference topics selected in 'Your "
                      "Selection'<p>If you wish to use the Orrery Reference Data please re-run <i><b>P</i></b>ellary "
                      "Almoner and select some reference topics</ul>"),
            std::string::npos);
  EXPECT_NE(root.find("<a href=></a>"), std::string::npos);
  EXPECT_FALSE(fs::exists(pc() / "tubemap.gif"));
  // The unselected roots are written though not counted; the bar stays at its end.
  EXPECT_EQ(Bhtm_Generator().Bhtm_PageCount, 0);
}

TEST_F(PageWriter, SelectedTopicWithoutSelectedChildrenIsAPageWithoutRows) {
  choose(101, 2);
  Bhtm_LoadReferenceStructure();
  Bhtm_StartHTMLReferenceWriter(1);
  EXPECT_NE(page("101_2.htm").find("<ul></ul>"), std::string::npos);
}

TEST_F(PageWriter, TemplateSplitKeepsOnlyMarkersStandingAloneOnTheirLine) {
  struct Case {
    const char* text;
    const char* page;
    const char* row;
  } cases[] = {
      {"a \r\nb", "a b", ""},
      {" <!CHILD>\r\nx", " <!CHILD>x", ""},
      {"h\r\n<!CHILD>\r\nr\r\n<CHILD!>\r\nt", "h<!CHILD!>t", "<!CHILD>r"},
      {"h\r<!CHILD>\rr\r<CHILD!>\rm\r<!CHILD>\rs\r<CHILD!>\rt\r", "h<!CHILD!>m<!CHILD!>t", "<!CHILD>r<!CHILD>s"},
  };
  for (const Case& c : cases) {
    SplitTemplate s = splitProductTemplate(c.text);
    EXPECT_EQ(s.page, c.page) << c.text;
    EXPECT_EQ(s.childRow, c.row) << c.text;
  }
  EXPECT_EQ(errorOf([] { splitProductTemplate("h\r\n<!CHILD>\r\nrow\r\n"); }), 62);
}

TEST_F(PageWriter, FailuresAreReportedUnderTheirWriter) {
  struct Case {
    const char* remove;
    const char* location;
    long number;
  } cases[] = {
      {"Reference/PC/Source/101.tem", "Bhtm_HTMLReferenceWriter", err::FileNotFound},
      {"Reference/PC/Source/101_22.htm", "Bhtm_RecursiveWritePages", err::FileNotFound},
  };
  for (long t : {1, 22}) choose(101, t);
  Bhtm_LoadReferenceStructure();
  for (const Case& c : cases) {
    makeSources("PC");
    fs::remove(home() / c.remove);
    reported = 0;
    where.clear();
    EXPECT_THROW(Bhtm_StartHTMLReferenceWriter(1), ProgramEnded);
    EXPECT_EQ(where, c.location);
    EXPECT_EQ(reported, c.number);
  }
}

TEST_F(PageWriter, UnlistedPlatformWithoutEarlierGenerationTouchesNothing) {
  Bhtm_LoadReferenceStructure();
  const fs::path cwd = fs::current_path();
  fs::current_path(home() / "PCMappa");
  writeFile(home() / "PCMappa" / "mine.txt", "x");
  Bhtm_StartHTMLReferenceWriter(2);
  fs::current_path(cwd);
  EXPECT_EQ(reported, 0);
  EXPECT_TRUE(fs::exists(home() / "PCMappa" / "mine.txt"));
}

class UpdateRunPages : public PageWriter {
 protected:
  void SetUp() override {
    PageWriter::SetUp();
    Bupd_UpdateRun() = true;
    fs::create_directories(home() / "CUE");
  }
};

TEST_F(UpdateRunPages, WithoutRegenerationOnlyTheListedPagesAreCopied) {
  writeFile(pc() / "101_4.htm", "old London");
  writeFile(pc() / "other.htm", "stays");
  writeFile(home() / "Reference/PC/Source/101_4.htm", "new London");
  writeFile(home() / "CUE/REPAGES.cue", "London,101_4,more\r\n\r\nBad,..\r\nTwice,101_5\r\nTwice,101_5\r\n");
  Bhtm_StartHTMLReferenceWriter(1);
  EXPECT_EQ(reported, 0) << where;
  EXPECT_EQ(portalText, "Updating reference section...");
  EXPECT_EQ(files(pc()), (std::set<std::string>{"101_4.htm", "101_5.htm", "other.htm"}));
  EXPECT_EQ(page("101_4.htm"), "new London");
  EXPECT_FALSE(fs::exists(home() / "CUE/REPAGES.cue"));
  Bhtm_StartHTMLReferenceWriter(1);  // no list any more: nothing happens
  EXPECT_EQ(files(pc()).size(), 3u);
}

TEST_F(UpdateRunPages, RegenerationReloadsTheTreeAndMovesThePortalBar) {
  Bhtm_Generator().Bupd_ReGenerate = 1;
  writeFile(home() / "CUE/REPAGES.cue", "London,101_4\r\n");
  for (long t : {1, 2, 4, 22}) choose(101, t);
  choose(7, 1);
  choose(7, 2);
  Bhtm_StartHTMLReferenceWriter(1);
  EXPECT_EQ(reported, 0) << where;
  EXPECT_TRUE(fs::exists(pc() / "101_2.htm"));
  EXPECT_TRUE(fs::exists(home() / "CUE/REPAGES.cue"));
  // Three pages: 33.3, 66.7, 100; the wizard's bar is not touched.
  EXPECT_EQ(portal, (std::vector<int16_t>{0, 33, 67, 100}));
  EXPECT_EQ(pcBar.value(), 0);
}

}  // namespace
}  // namespace pellary::testing
