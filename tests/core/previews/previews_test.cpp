#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "../profile/profile_fixture.h"
#include "core/idindex.h"
#include "core/preview_lists.h"
#include "core/previews.h"
#include "core/selection.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/wizard/page_engine.h"
#include "platform/msgbox.h"

namespace pellary {
namespace {

// The dialog as the procedures see it, with what it was told.
struct FakeOptions : EventOptionsView {
  bool setting = false;
  bool settingUpWhenOptionsSet = false;
  OptionControls controls;
  bool includeOn = true, onSaleOn = true, rangeOn = true;
  std::string caption, okCaption;
  MemoryPreviewList list;
  DatePanel panel;
  bool panelShown = false, shown = false;
  int centred = 0;
  std::function<void(FakeOptions&)> whileModal;
  std::vector<PreviewRow> rowsAtClose;

  bool settingUp() const override { return setting; }
  void setSettingUp(bool on) override { setting = on; }
  OptionControls options() const override { return controls; }
  void setOptions(const OptionControls& c) override {
    controls = c;
    settingUpWhenOptionsSet = setting;
  }
  void setEnabledParts(bool include, bool onSale, bool range) override {
    includeOn = include;
    onSaleOn = onSale;
    rangeOn = range;
  }
  void setCategoryCaption(const std::string& t) override { caption = t; }
  std::string categoryCaption() const override { return caption; }
  void setOkCaption(const std::string& t) override { okCaption = t; }
  PreviewList& eventList() override { return list; }
  DatePanel datePanel() const override { return panel; }
  void setDatePanel(const DatePanel& p) override { panel = p; }
  void showDatePanel() override { panelShown = true; }
  bool isShown() const override { return shown; }
  void centreOnMainWindow() override { ++centred; }
  void showModal() override {
    shown = true;
    if (whileModal) whileModal(*this);
    rowsAtClose = list.rows;
  }
};

class Previews : public testing::ProfileDb {
 protected:
  void SetUp() override {
    ProfileDb::SetUp();
    previous_ = setMessagePresenter([this](const MessageRequest& m) {
      messages.push_back(m);
      return mb::OK;
    });
    oneProduct(day(2027, 3, 1));
    addProduct(3, 30, 1, day(2027, 3, 1), 0);
    addPrimary(3, 7, "Sport");
    addSecondary(3, 7, 12, "Football");
    addTertiary(3, 7, 12, 3, 4711, "League", 6);
    screenLink().tvCategorySelector = {&tree};
    screenLink().tvSelectedItems = &chosen;
    tree.add("", TreeRelation::Last, "P007", "Sport");
    tree.add("P007", TreeRelation::Child, "P007012", "Football");
    tree.add("P007012", TreeRelation::Child, key, "League");
    chosen.add("", TreeRelation::Last, kNewItemsKey, "New items");
    eventOptionsLink().make = [this]() -> EventOptionsView* {
      auto* v = new FakeOptions();
      v->whileModal = [this](FakeOptions& f) {
        last = f;
        if (whileModal) whileModal(f);
      };
      return v;
    };
  }
  void TearDown() override {
    eventOptionsLink() = EventOptionsLink{};
    previewTargets() = PreviewTargets{};
    resetWizardState();
    setMessagePresenter(previous_);
    ProfileDb::TearDown();
  }
  ProfileCatRecord& record(int32_t catID = 4711) {
    return Bsda().Bsda_ProfileCatList[size_t(Bsda_GetCatIDIndex(catID))];
  }
  ProfileEventRecord* eventRecord(int32_t eventID) {
    int32_t p = Bsda_GetEventIDIndex(eventID);
    return p ? &Bsda().Bsda_ProfileEventList[size_t(p)] : nullptr;
  }
  // Opens the dialog for the category node or its chosen-items node.
  void open(bool chosenNode, std::function<void(FakeOptions&)> during = {}) {
    whileModal = std::move(during);
    Bsql().Bsql_PreviewNodeKey = chosenNode ? chosenCategoryKey(0, key) : key;
    Bsql_SetSingleNodePreview(key);
    int16_t isChosen = chosenNode ? 1 : 0;
    Bsql_SetupPreviewScreen(isChosen);
  }
  static std::vector<std::string> tickedKeys(const std::vector<PreviewRow>& rows) {
    std::vector<std::string> keys;
    for (const PreviewRow& r : rows)
      if (r.checked) keys.push_back(r.key);
    return keys;
  }

  const std::string key = tertiaryKey(7, 12, 3, 4711, 6);
  MemoryTreeView tree, chosen;
  FakeOptions last;
  std::function<void(FakeOptions&)> whileModal;
  std::vector<MessageRequest> messages;
  MessagePresenter previous_;
};

TEST_F(Previews, TheDialogShowsTheStoredOptionsAndTheCategoryName) {
  loadProfile();
  Bsda_AddToProfileCatList(4711, 4 | catopt::OnlyKey | catopt::Detailed | catopt::NoHappen, 0x0A01, 0, 0, 6);
  open(false);
  EXPECT_TRUE(last.settingUpWhenOptionsSet);
  EXPECT_FALSE(last.setting);
  EXPECT_EQ(last.controls.include, IncludeChoice::OnlyKey);
  EXPECT_TRUE(last.controls.detailed);
  EXPECT_FALSE(last.controls.happen);
  EXPECT_FALSE(last.controls.onSale);
  EXPECT_TRUE(last.includeOn);  // settings word 6: priorities and tickets, no holidays
  EXPECT_TRUE(last.onSaleOn);
  EXPECT_TRUE(last.rangeOn);
  EXPECT_EQ(last.caption, "League, Football, Sport");
  EXPECT_EQ(last.okCaption, "&Add to my selection");
  EXPECT_EQ(last.centred, 1);
  EXPECT_EQ(eventOptionsLink().current, nullptr);

  // From the chosen node: its text without the count prefix.
  chosen.add(kNewItemsKey, TreeRelation::Next, chosenCategoryKey(0, key), "(3 of 5) League, Football, Sport");
  open(true);
  EXPECT_EQ(last.caption, "League, Football, Sport");
  EXPECT_EQ(last.okCaption, "&Change my selection");
}

TEST_F(Previews, AChosenNodeWithoutACountKeepsItsWholeName) {
  loadProfile();
  chosen.add(kNewItemsKey, TreeRelation::Next, chosenCategoryKey(0, key), "League, Football, Sport");
  open(true);
  EXPECT_EQ(last.caption, "League, Football, Sport");
}

TEST_F(Previews, AHolidayCategoryHasNoIncludeTicketsOrDateRange) {
  addTertiary(3, 7, 12, 9, 12, "France", 1);
  tree.add("P007012", TreeRelation::Child, tertiaryKey(7, 12, 9, 12, 1), "France");
  loadProfile();
  Bsql().Bsql_PreviewNodeKey = tertiaryKey(7, 12, 9, 12, 1);
  Bsql_SetSingleNodePreview(Bsql().Bsql_PreviewNodeKey);
  int16_t isChosen = 0;
  Bsql_SetupPreviewScreen(isChosen);
  EXPECT_FALSE(last.includeOn);
  EXPECT_FALSE(last.onSaleOn);
  EXPECT_FALSE(last.rangeOn);
  EXPECT_EQ(record(12).CatSetting, 1);  // the category got its record
}

TEST_F(Previews, OptionControlsRoundTripThroughTheStatusWord) {
  struct Case {
    OptionControls c;
    int16_t bits;
  } cases[] = {
      {{IncludeChoice::Most, false, true, false}, 0},
      {{IncludeChoice::OnlyKey, false, true, false}, catopt::OnlyKey},
      {{IncludeChoice::All, true, true, true}, catopt::All | catopt::Detailed | catopt::OnSale},
      {{IncludeChoice::Most, false, false, false}, catopt::NoHappen},
      {{IncludeChoice::OnlyKey, true, false, true}, 0x0080 | 0x0010 | 0x0020 | 0x0040},
  };
  loadProfile();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.bits);
    for (int16_t state : {catstate::Added, catstate::Removed}) {
      open(false, [&](FakeOptions& f) {
        record().Status = int16_t(0x01F0 | state);  // every option set before
        f.controls = k.c;
        Bsql_UpdateCategoryBits();
      });
      EXPECT_EQ(record().Status, k.bits | state);
      EXPECT_EQ(Bsql().Bsql_CategoryBits, k.bits);
      OptionControls back = controlsOfStatus(record().Status);
      EXPECT_EQ(back.include, k.c.include);
      EXPECT_EQ(back.detailed, k.c.detailed);
      EXPECT_EQ(back.happen, k.c.happen);
      EXPECT_EQ(back.onSale, k.c.onSale);
    }
  }
}

TEST_F(Previews, DurationRoundTripsThroughTheDatePanel) {
  loadProfile();
  Bsda_AddToProfileCatList(4711, 2, 0x0A01, 0, 0, 6);
  struct Case {
    int position;
    bool star, range;
    int16_t duration;
  } cases[] = {
      {0, false, false, 0x0401},         {5, true, false, 0x0406 | 0x0200},
      {6, false, true, 0x0801 | 0x4000}, {8, true, true, 0x0803 | 0x0200 | 0x4000},
      {11, false, false, 0x1003},        {-1, false, false, 0x0801},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    open(false, [&](FakeOptions& f) {
      f.panel.unitPosition = c.position;
      f.panel.displayStar = c.star;
      f.panel.setDateRange = c.range;
      f.panel.startDate = day(2027, 4, 1);
      f.panel.endDate = day(2027, 4, 30);
      EXPECT_FALSE(Bsql_SetDateRangePreferences());
      EXPECT_EQ(record().Duration, c.duration);
      f.panel = DatePanel{};
      Bsql_SetUpPreferences();
      EXPECT_TRUE(f.panelShown);
      EXPECT_EQ(f.panel.unitPosition, c.position < 0 ? 6 : c.position);
      EXPECT_EQ(f.panel.displayStar, c.star);
      EXPECT_EQ(f.panel.setDateRange, c.range);
      EXPECT_EQ(f.panel.pickersEnabled, c.range);
    });
  }
  // Only a ticked range stores its dates.
  EXPECT_EQ(record().StartDate, day(2027, 4, 1));
  EXPECT_EQ(record().EndDate, day(2027, 4, 30));
}

TEST_F(Previews, AnUnlistedDurationShowsOneWeekAndAMissingStartShowsToday) {
  loadProfile();
  Bsda_AddToProfileCatList(4711, 2, 0x0777, 0, 0, 6);
  open(false, [&](FakeOptions& f) {
    f.panel.endDate = day(2030, 1, 1);
    Bsql_SetUpPreferences();
    EXPECT_EQ(f.panel.unitPosition, 6);
    EXPECT_EQ(f.panel.startDate, platform::today());
    EXPECT_EQ(f.panel.endDate, 0);  // no stored end: the view picks a year after the start
  });
}

TEST_F(Previews, ARangeEndingBeforeItStartsIsRefusedAndEqualDatesAreKept) {
  loadProfile();
  Bsda_AddToProfileCatList(4711, 2, 0x0A01, day(2027, 1, 1), day(2027, 1, 2), 6);
  open(false, [&](FakeOptions& f) {
    f.panel.unitPosition = 0;
    f.panel.setDateRange = true;
    f.panel.startDate = day(2027, 5, 2);
    f.panel.endDate = day(2027, 5, 1);
    EXPECT_TRUE(Bsql_SetDateRangePreferences());
    f.panel.startDate = day(2027, 5, 1);
    EXPECT_FALSE(Bsql_SetDateRangePreferences());
  });
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "The start date must be before the end date!\r\rPlease correct your date range settings.");
  EXPECT_EQ(messages[0].style, mb::Exclamation);
  EXPECT_EQ(messages[0].title, "Pellary Almoner");
  EXPECT_EQ(record().StartDate, day(2027, 5, 1));
  EXPECT_EQ(record().EndDate, day(2027, 5, 1));
  EXPECT_EQ(record().Duration, 0x0401 | 0x4000);
}

TEST_F(Previews, PreferencesWithoutACategoryRecordEndTheProgram) {
  loadProfile();
  Bsql().Bsql_CurrentCatID = 999;
  EXPECT_EQ(endsWith([] { Bsql_SetUpPreferences(); }), "Bsql_SetUpPreferences");
  EXPECT_EQ(reports.back().number, 9);
  EXPECT_EQ(endsWith([] { Bsql_SetDateRangePreferences(); }), "Bsql_SetDateRangePreferences");
}

TEST_F(Previews, TheEventListTicksByPriorityHandAndWrittenState) {
  // "Most" admits priorities up to 2; the window starts on 1 March.
  addEvent(1, "key", day(2027, 3, 2), day(2027, 3, 2), 1);
  addEvent(2, "minor", day(2027, 3, 3), day(2027, 3, 3), 3);
  addEvent(3, "minor ticked", day(2027, 3, 4), day(2027, 3, 4), 3);
  addEvent(4, "most unticked", day(2027, 3, 5), day(2027, 3, 5), 2);
  addEvent(5, "most, hand bit only", day(2027, 3, 6), day(2027, 3, 6), 2);
  addEvent(6, "written, minor", day(2027, 3, 7), day(2027, 3, 7), 3);
  addEvent(7, "before the window", day(2027, 1, 7), day(2027, 1, 7), 1);
  for (long e = 1; e <= 7; ++e) link(e, 4711);
  profileCat(4711, 4, 0x0A01, 6);
  profileEvent(3, 4711, 0x4002);
  profileEvent(4, 4711, 9);
  profileEvent(5, 4711, 0x4000);
  profileEvent(6, 4711, 4);
  loadProfile();
  open(false);
  ASSERT_EQ(last.list.rows.size(), 7u);  // the placeholder and six in the window
  EXPECT_EQ(last.list.rows[0].key, "XXX");
  EXPECT_EQ(last.list.rows[0].text, "Blank");
  EXPECT_EQ(last.list.rows[1].key, "P0000001");
  EXPECT_EQ(last.list.rows[1].text, "02/03/2027");
  EXPECT_EQ(last.list.rows[1].subItems, std::vector<std::string>{"key"});
  EXPECT_EQ(tickedKeys(last.list.rows), (std::vector<std::string>{"P0000001", "P0000003", "P0000005", "P0000006"}));

  // A category being removed lists only what stands on the target.
  record().Status = 8;
  open(false);
  EXPECT_EQ(tickedKeys(last.list.rows), std::vector<std::string>{"P0000006"});
  EXPECT_EQ(last.list.rows.size(), 2u);
}

TEST_F(Previews, AnEventBeforeTheProductStartShowsUnderTheStartDate) {
  addEvent(1, "long", day(2027, 2, 20), day(2027, 3, 10), 1);
  link(1, 4711);
  loadProfile();
  open(false);
  ASSERT_EQ(last.list.rows.size(), 2u);
  EXPECT_EQ(last.list.rows[1].text, "01/03/2027");
}

TEST_F(Previews, ACategoryWithoutEventsShowsOnlyThePlaceholder) {
  loadProfile();
  open(false);
  ASSERT_EQ(last.list.rows.size(), 1u);
  EXPECT_EQ(last.list.rows[0].key, "XXX");
}

TEST_F(Previews, TicksAndUnticksMoveTheEventStatus) {
  struct Case {
    int16_t before;
    bool ticked;
    bool summaryPage;
    int16_t after;
    int16_t version = 1;
  } cases[] = {
      {9, true, false, 0x4002, 0},  // unticked before it was written: ticking adds it again
      {9, true, false, 0x4004, 1},    {0, true, false, 0x4002},
      {0x0019, true, false, 0x4014},  // written and being deleted, ticked: back on the target
      {0x0018, true, false, 0x4012},  {0x0002, true, false, 0x4002},
      {0x0014, true, false, 0x4014},  {0x0010, true, false, 0x4012},
      {2, false, false, 9},           {0, false, false, 9},
      {0x4012, false, false, 0x0011}, {0x4014, false, true, 0x4014},  // on the summary page it stays written
      {0x4014, false, false, 0x0019}, {0x0011, false, false, 0x4011},
  };
  loadProfile();
  Bsql().Bsql_CurrentCatID = 4711;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    resetProfileLists();
    Bsda_AddToProfileEventList(42, 4711, c.before, c.version, 0, 0, "");
    Bmm_CurrentPage() = c.summaryPage ? page::Summary : page::Selection;
    std::string k = eventRowKey(42);
    bool t = c.ticked;
    Bsql_EditPreviewList(k, t);
    EXPECT_EQ(eventRecord(42)->Status, c.after);
  }
}

TEST_F(Previews, TickingAnEventOutsideTheProfileAddsIt) {
  loadProfile();
  Bsql().Bsql_CurrentCatID = 4711;
  for (bool ticked : {true, false}) {
    std::string k = eventRowKey(ticked ? 5 : 6);
    bool t = ticked;
    Bsql_EditPreviewList(k, t);
  }
  ASSERT_NE(eventRecord(5), nullptr);
  EXPECT_EQ(eventRecord(5)->Status, 0x4002);
  EXPECT_EQ(eventRecord(5)->CatID, 4711);
  EXPECT_EQ(eventRecord(6)->Status, 1);
  EXPECT_EQ(eventRowKey(42), "P0000042");
}

TEST(EventRowKey, ReadsBackTheEventID) {
  EXPECT_EQ(eventIDOfRowKey(eventRowKey(4711)), 4711);
  EXPECT_EQ(eventIDOfRowKey(eventRowKey(9999999)), 9999999);
  EXPECT_EQ(eventIDOfRowKey(kPlaceholderRowKey), 0);
}

TEST_F(Previews, ChangingTheIncludeChoiceRebuildsTheListAndTheCountFollows) {
  addEvent(1, "key", day(2027, 3, 2), day(2027, 3, 2), 1);
  addEvent(2, "minor", day(2027, 3, 3), day(2027, 3, 3), 3);
  link(1, 4711);
  link(2, 4711);
  loadProfile();
  Bsql_SetSingleNodePreview(key);
  Bsql_AddToProfileCatList(6);
  int32_t n = Bsql_CountActiveRecords();
  chosen.add(kNewItemsKey, TreeRelation::Next, chosenCategoryKey(0, key),
             countPrefix(n, Bsql().Bsql_EventCount) + "League, Football, Sport");
  Bsql_AddToCategorySelection(key);
  open(true, [&](FakeOptions& f) {
    EXPECT_EQ(tickedKeys(f.list.rows), std::vector<std::string>{"P0000001"});
    f.controls.include = IncludeChoice::All;
    Bsql_UpdateCategoryBits();
    EXPECT_EQ(tickedKeys(f.list.rows), (std::vector<std::string>{"P0000001", "P0000002"}));
    Bsql_ReCountEvents();  // the dialog's OK on a chosen node
  });
  EXPECT_EQ(chosen.text(chosenCategoryKey(0, key)), "(2 of 2) League, Football, Sport");
}

}  // namespace
}  // namespace pellary
