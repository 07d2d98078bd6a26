#include "core/wizard/page_engine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/products.h"
#include "core/registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

// Pages as the engine sees them: which are loaded and visible, and what was done.
class FakePages : public PageHost {
 public:
  std::set<int16_t> loaded, visible;
  std::vector<std::string> log;
  int fileMenuEnabled = 0, toolTipTimers = 0;

  bool hasForm(int16_t p) const override { return !pageFormName(p).empty(); }
  void alignPage(int16_t p) override {
    loaded.insert(p);
    log.push_back("align " + std::to_string(p));
  }
  void copyPicture(int16_t from, int16_t to) override {
    log.push_back("copy " + std::to_string(from) + ">" + std::to_string(to));
  }
  void showPage(int16_t p) override {
    loaded.insert(p);
    visible.insert(p);
  }
  void hidePage(int16_t p) override { visible.erase(p); }
  void unloadPage(int16_t p) override {
    visible.erase(p);
    loaded.erase(p);
    log.push_back("unload " + std::to_string(p));
  }
  void enableFileMenu() override { ++fileMenuEnabled; }
  void enableToolTipTimer() override { ++toolTipTimers; }
  bool copied(int16_t from, int16_t to) const {
    std::string entry = "copy " + std::to_string(from) + ">" + std::to_string(to);
    for (const std::string& s : log)
      if (s == entry) return true;
    return false;
  }
};

struct Flags {
  bool ref1, ref2, dates;
};
constexpr Flags kAllFlags[] = {{false, false, false}, {true, false, false}, {false, true, false}, {false, false, true},
                               {true, true, false},   {true, false, true},  {false, true, true},  {true, true, true}};

std::string describe(Flags f) {
  return std::string("ref1=") + (f.ref1 ? "1" : "0") + " ref2=" + (f.ref2 ? "1" : "0") +
         " dates=" + (f.dates ? "1" : "0");
}

class PageEngine : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetWizardState();
    resetProductSetup();
    Wizard().host = &pages;
    Wizard().setPilotPath = [this] { ++pilotPaths; };
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reported.push_back({number, std::string(location)});
    });
    previous_ = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r);
      return mb::OK;
    });
    setCodes(3, 1, 2);
  }
  void TearDown() override {
    setMessagePresenter(previous_);
    setReportHandler(nullptr);
    resetWizardState();
    resetProductSetup();
    IsolatedEnvTest::TearDown();
  }
  void setCodes(int16_t dates, int16_t ref1, int16_t ref2) {
    Bset().Bset_DatesPlat = dates;
    Bset().Bset_RefPlat1 = ref1;
    Bset().Bset_RefPlat2 = ref2;
  }
  void setFlags(Flags f) {
    Bint_Ref1Pending() = f.ref1;
    Bint_Ref2Pending() = f.ref2;
    Bint_DatesPending() = f.dates;
  }
  // Puts the wizard on page p as if it had been switched there.
  void onPage(int16_t p) {
    pages.loaded = {p};
    pages.visible = {p};
    pages.log.clear();
    Bmm_CurrentPage() = p;
  }

  struct Report {
    long number;
    std::string location;
  };
  FakePages pages;
  std::vector<Report> reported;
  std::vector<MessageRequest> messages;
  int pilotPaths = 0;

 private:
  MessagePresenter previous_;
};

// The page with output due first, by the flags, for calendar code 3 and
// reference codes 1 and 2.
int16_t firstDue(Flags f) {
  if (f.ref1) return 18;
  if (f.ref2) return 21;
  if (f.dates) return 4;
  return 16;
}

TEST_F(PageEngine, ForwardFromEveryPageWithEveryFlagCombination) {
  for (int16_t p = 0; p < kPageCount; ++p) {
    if (pageFormName(p).empty()) continue;
    for (Flags f : kAllFlags) {
      onPage(p);
      setFlags(f);
      int16_t expected;
      switch (p) {
        case 0:
        case 19: expected = 1; break;
        case 1: expected = (f.ref1 || f.ref2 || f.dates) ? 2 : 20; break;
        case 2: expected = firstDue(f); break;
        case 16: expected = 17; break;
        default: expected = 16; break;
      }
      Bmm_FormAdvance();
      EXPECT_EQ(Bmm_CurrentPage(), expected) << "from " << p << " " << describe(f);
      EXPECT_EQ(pages.visible, std::set<int16_t>{expected}) << "from " << p << " " << describe(f);
      // Forward never clears a flag: only the page that did the work does.
      EXPECT_EQ(Bint_Ref1Pending(), f.ref1);
      EXPECT_EQ(Bint_DatesPending(), f.dates);
    }
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(PageEngine, SelectionScreenEntryStartsTooltipsAndStamp) {
  for (int16_t from : {0, 19}) {
    onPage(from);
    pages.toolTipTimers = 0;
    Wizard().toolTipStamp = -1;
    Bmm_FormAdvance();
    EXPECT_EQ(pages.toolTipTimers, 1) << from;
    EXPECT_GE(Wizard().toolTipStamp, 0);
    EXPECT_LE(Wizard().toolTipStamp, 86400);
  }
  onPage(2);
  pages.toolTipTimers = 0;
  Bmm_FormReverse();
  EXPECT_EQ(Bmm_CurrentPage(), 1);
  EXPECT_EQ(pages.toolTipTimers, 1);
  // From the "no changes" page the selection screen is entered without it.
  onPage(20);
  pages.toolTipTimers = 0;
  Bmm_FormReverse();
  EXPECT_EQ(Bmm_CurrentPage(), 1);
  EXPECT_EQ(pages.toolTipTimers, 0);
}

TEST_F(PageEngine, NextFormForEveryFlagCombinationAndCode) {
  struct Codes {
    int16_t dates, ref1, ref2;
    int16_t ref1Page, ref2Page, datesPage;  // each due output's page; 0 skips it
  } codes[] = {
      {1, 1, 1, 18, 18, 3},
      {3, 1, 2, 18, 21, 4},
      {4, 1, 4, 18, 22, 11},
      {6, 1, 8, 18, 22, 7},
      {9, 1, 16, 18, 23, 13},
      {12, 1, 32, 18, 23, 15},
      {15, 1, 64, 18, 23, 6},
      {16, 1, 128, 18, 23, 6},
      {3, 1, 256, 18, 23, 4},
      // Unlisted codes: their output is passed over.
      {0, 0, 0, 0, 0, 0},
      {2, 2, 3, 0, 0, 0},
      {5, 1, 512, 18, 0, 0},
      {7, 0, 2, 0, 21, 0},
      {8, 1, -1, 18, 0, 0},
      {11, 3, 1, 0, 18, 0},
      {99, 1, 2, 18, 21, 0},
  };
  for (const Codes& c : codes) {
    for (Flags f : kAllFlags) {
      setCodes(c.dates, c.ref1, c.ref2);
      setFlags(f);
      int16_t expected = 16;
      if (f.dates && c.datesPage) expected = c.datesPage;
      if (f.ref2 && c.ref2Page) expected = c.ref2Page;
      if (f.ref1 && c.ref1Page) expected = c.ref1Page;
      std::string where = describe(f) + " codes " + std::to_string(c.dates) + "/" + std::to_string(c.ref1) + "/" +
                          std::to_string(c.ref2);
      // On the summary page the number is only returned.
      onPage(2);
      pilotPaths = 0;
      EXPECT_EQ(Bmm_GetNextForm(), expected) << where;
      EXPECT_EQ(Bmm_CurrentPage(), 2) << where;
      EXPECT_EQ(pages.visible, std::set<int16_t>{2}) << where;
      // A Palm page puts the Palm Desktop folder on the search path first.
      EXPECT_EQ(pilotPaths, (expected == 21 || expected == 15) ? 1 : 0) << where;
      // Elsewhere it switches, and never to the introduction.
      onPage(4);
      Bmm_GetNextForm();
      EXPECT_EQ(Bmm_CurrentPage(), expected) << where;
      EXPECT_EQ(pages.visible, std::set<int16_t>{expected}) << where;
    }
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(PageEngine, BackFromEveryPageWithEveryCalendarCode) {
  struct Back {
    int16_t code, page;
  } backs[] = {{1, 3},
               {3, 4},
               {4, 11},
               {6, 7},
               {9, 13},
               {12, 15},
               {15, 6},
               {16, 6},
               // Unlisted codes go back to the summary rather than the unloaded introduction.
               {0, 2},
               {2, 2},
               {5, 2},
               {7, 2},
               {8, 2},
               {11, 2},
               {17, 2}};
  for (const Back& b : backs) {
    for (int16_t p = 0; p < kPageCount; ++p) {
      if (pageFormName(p).empty() || p == 2) continue;
      setCodes(b.code, 1, 2);
      onPage(p);
      int16_t expected = p == 16 ? b.page : p == 20 ? 1 : 2;
      Bmm_FormReverse();
      EXPECT_EQ(Bmm_CurrentPage(), expected) << "from " << p << " code " << b.code;
      EXPECT_EQ(pages.visible, std::set<int16_t>{expected}) << "from " << p << " code " << b.code;
    }
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(PageEngine, WalkWithAllOutputsDueVisitsEachPageAsItsFlagClears) {
  setCodes(3, 1, 2);
  onPage(1);
  setFlags({true, true, true});
  std::vector<int16_t> walk;
  Bmm_FormAdvance();  // the summary
  walk.push_back(Bmm_CurrentPage());
  Bmm_FormAdvance();  // the first due output
  walk.push_back(Bmm_CurrentPage());
  Bint_Ref1Pending() = false;
  Bmm_GetNextForm();
  walk.push_back(Bmm_CurrentPage());
  Bint_Ref2Pending() = false;
  Bmm_GetNextForm();
  walk.push_back(Bmm_CurrentPage());
  Bint_DatesPending() = false;
  Bmm_GetNextForm();
  walk.push_back(Bmm_CurrentPage());
  Bmm_FormAdvance();
  walk.push_back(Bmm_CurrentPage());
  EXPECT_EQ(walk, (std::vector<int16_t>{2, 18, 21, 4, 16, 17}));
  EXPECT_EQ(pages.visible, std::set<int16_t>{17});
}

TEST_F(PageEngine, NothingChangedGoesToNoChangesAndBack) {
  onPage(1);
  setFlags({false, false, false});
  Bmm_FormAdvance();
  EXPECT_EQ(Bmm_CurrentPage(), 20);
  Bmm_FormReverse();
  EXPECT_EQ(Bmm_CurrentPage(), 1);
  Bmm_FormAdvance();
  Bmm_FormAdvance();  // the update-settings button of page 20
  EXPECT_EQ(Bmm_CurrentPage(), 16);
}

TEST_F(PageEngine, SidePictureTravelsExceptFromTheSelectionScreen) {
  struct Case {
    int16_t from, to;
    bool copied;
  } cases[] = {{2, 18, true}, {2, 4, true},   {18, 21, true}, {16, 17, true}, {20, 16, true},
               {1, 2, false}, {1, 20, false}, {2, 1, false},  {17, 2, false}, {0, 1, false}};
  for (const Case& c : cases) {
    onPage(c.from);
    Bmm_ChangeForms(c.to, c.from);
    EXPECT_EQ(pages.copied(c.from, c.to), c.copied) << c.from << ">" << c.to;
    EXPECT_EQ(pages.visible, std::set<int16_t>{c.to});
  }
}

TEST_F(PageEngine, IntroductionAndBannerAreUnloadedWhenLeft) {
  for (int16_t p = 0; p < kPageCount; ++p) {
    if (pageFormName(p).empty() || p == 1) continue;
    onPage(p);
    Bmm_ChangeForms(1, p);
    bool unloaded = !pages.loaded.count(p);
    EXPECT_EQ(unloaded, p == 0 || p == 19) << p;
  }
}

TEST_F(PageEngine, SwitchingAPageToItselfKeepsItOnScreen) {
  for (int16_t p : {0, 2, 16, 18, 19}) {
    onPage(p);
    Bmm_ChangeForms(p, p);
    EXPECT_EQ(pages.visible, std::set<int16_t>{p}) << p;
    EXPECT_TRUE(pages.loaded.count(p)) << p;
    EXPECT_EQ(Bmm_CurrentPage(), p);
  }
  // A device reference page that is due again after its own run.
  setCodes(3, 1, 2);
  setFlags({false, true, false});
  onPage(21);
  Bmm_GetNextForm();
  EXPECT_EQ(pages.visible, std::set<int16_t>{21});
}

TEST_F(PageEngine, EnteringTheSelectionScreenEnablesTheFileMenu) {
  onPage(0);
  Bmm_FormAdvance();
  EXPECT_EQ(pages.fileMenuEnabled, 1);
  onPage(2);
  Bmm_ChangeForms(16, 2);
  EXPECT_EQ(pages.fileMenuEnabled, 1);
}

TEST_F(PageEngine, PartnerAnnouncementsShowOnceAndAreRemembered) {
  struct Case {
    bool orry, fieldfare;
    std::vector<std::string> titles;
  } cases[] = {{false, false, {}},
               {true, false, {kOrryTitle}},
               {false, true, {kFieldfareTitle}},
               {true, true, {kOrryTitle, kFieldfareTitle}}};
  for (const Case& c : cases) {
    Breg_DeleteRegSetting("Settings", "OrryMsg");
    Breg_DeleteRegSetting("Settings", "FieldfareMsg");
    Wizard().orryEdition = [&] { return c.orry; };
    Wizard().fieldfareEdition = [&] { return c.fieldfare; };
    messages.clear();
    for (int i = 0; i < 2; ++i) {
      onPage(2);
      Bmm_FormReverse();
    }
    std::vector<std::string> titles;
    for (const MessageRequest& m : messages) {
      titles.push_back(m.title);
      EXPECT_EQ(m.style, mb::Information);
    }
    EXPECT_EQ(titles, c.titles);
    EXPECT_EQ(Breg_GetRegSetting("Settings", "OrryMsg"), c.orry ? "displayed" : "");
    EXPECT_EQ(Breg_GetRegSetting("Settings", "FieldfareMsg"), c.fieldfare ? "displayed" : "");
  }
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0].text, kOrryText);
  EXPECT_EQ(messages[1].text, kFieldfareText);
  // Shown in an earlier run: never again.
  Breg_WriteRegSettings("Settings", "OrryMsg", "displayed");
  Breg_DeleteRegSetting("Settings", "FieldfareMsg");
  Wizard().fieldfareEdition = nullptr;
  messages.clear();
  onPage(2);
  Bmm_FormReverse();
  EXPECT_TRUE(messages.empty());
}

TEST_F(PageEngine, OutOfRangeOrEmptySlotIsReportedUnderChangeForms) {
  struct Case {
    int16_t page;
    long number;
  } cases[] = {{-1, err::SubscriptOutOfRange}, {24, err::SubscriptOutOfRange}, {5, 91}, {14, 91}};
  for (const Case& c : cases) {
    onPage(2);
    reported.clear();
    EXPECT_THROW(Bmm_ChangeForms(c.page, 2), ProgramEnded);
    ASSERT_EQ(reported.size(), 1u) << c.page;
    EXPECT_EQ(reported[0].location, "Bmm_ChangeForms");
    EXPECT_EQ(reported[0].number, c.number);
    EXPECT_EQ(Bmm_CurrentPage(), 2);
    EXPECT_EQ(pages.visible, std::set<int16_t>{2});
  }
}

TEST(PageTables, FormNamesAndFillOrder) {
  int filled = 0;
  for (int16_t p = 0; p < kPageCount; ++p) filled += pageFormName(p).empty() ? 0 : 1;
  EXPECT_EQ(filled, 18);
  EXPECT_EQ(std::size(kPageFillOrder), 18u);
  for (int16_t p : kPageFillOrder) EXPECT_FALSE(pageFormName(p).empty()) << p;
  EXPECT_EQ(pageFormName(16), "frmUpdateSetup");
  EXPECT_EQ(pageFormName(22), "frmWinCEReference");
  EXPECT_EQ(pageFormName(5), "");
}

}  // namespace
}  // namespace pellary
