#include "core/gui/wizard/page_table.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/update_interval.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

// A page with a side picture, counted as it is created.
QWidget* pictured(int* created, QColor colour) {
  ++*created;
  auto* w = new QWidget();
  auto* img = new QLabel(w);
  img->setObjectName("imgPicture");
  QPixmap p(8, 8);
  p.fill(colour);
  img->setPixmap(p);
  return w;
}

class PageTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPageTable();
    resetWizardState();
    resetProductSetup();
    client = std::make_unique<QWidget>();
    client->resize(600, 400);
    client->show();
    PageTable().setClientArea([this] { return client.get(); });
    PageTable().setFileMenuHandler([this] { ++fileMenu; });
    Wizard().host = &PageTable();
    for (int16_t slot : kPageFillOrder)
      PageTable().setSlot(slot, [this, slot] { return pictured(&created[slot], QColor(slot * 10, 0, 0)); });
  }
  void TearDown() override {
    resetPageTable();
    resetWizardState();
    resetProductSetup();
    client.reset();
  }
  // The table's pages that are on screen.
  std::vector<int16_t> visiblePages() const {
    std::vector<int16_t> v;
    for (int16_t i = 0; i < kPageCount; ++i)
      if (QWidget* w = PageTable().loadedPage(i); w && w->isVisible()) v.push_back(i);
    return v;
  }
  QColor pictureColour(int16_t slot) { return pagePicture(*PageTable().page(slot)).toImage().pixelColor(0, 0); }

  std::unique_ptr<QWidget> client;
  int created[kPageCount] = {};
  int fileMenu = 0;
};

TEST_F(PageTableTest, PagesAreCreatedHiddenInTheClientArea) {
  for (int16_t slot : kPageFillOrder) PageTable().page(slot);
  EXPECT_TRUE(visiblePages().empty());
  for (int16_t slot : kPageFillOrder) {
    QWidget* w = PageTable().loadedPage(slot);
    ASSERT_NE(w, nullptr) << slot;
    EXPECT_EQ(w->parentWidget(), client.get());
    EXPECT_EQ(w->size(), client->size());
    EXPECT_EQ(created[slot], 1);
  }
  // Asking again gives the same default instance.
  QWidget* first = PageTable().page(4);
  EXPECT_EQ(PageTable().page(4), first);
  EXPECT_EQ(created[4], 1);
  EXPECT_EQ(PageTable().page(5), nullptr);
  EXPECT_EQ(PageTable().page(24), nullptr);
  EXPECT_FALSE(PageTable().hasForm(5));
}

TEST_F(PageTableTest, OnePageVisibleAtATimeAtTheTopLeft) {
  PageTable().showPage(0);
  Bmm_CurrentPage() = 0;
  PageTable().page(1)->move(50, 50);
  Bint_DatesPending() = true;
  Bset().Bset_DatesPlat = 3;
  std::vector<int16_t> walk = {1, 2, 4, 16, 17};
  for (int16_t expected : walk) {
    if (expected == 4) Bint_DatesPending() = true;
    if (Bmm_CurrentPage() == 4) Bint_DatesPending() = false;
    Bmm_FormAdvance();
    ASSERT_EQ(Bmm_CurrentPage(), expected);
    EXPECT_EQ(visiblePages(), std::vector<int16_t>{expected});
    EXPECT_EQ(PageTable().loadedPage(expected)->pos(), QPoint(0, 0));
  }
  EXPECT_EQ(fileMenu, 1);
}

TEST_F(PageTableTest, UnloadedPageIsCreatedAgainWhenNextShown) {
  PageTable().showPage(0);
  QPointer<QWidget> intro = PageTable().page(0);
  Bmm_CurrentPage() = 0;
  Bmm_FormAdvance();
  EXPECT_FALSE(PageTable().isLoaded(0));
  EXPECT_TRUE(intro->isHidden());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(intro.isNull());
  Bmm_ChangeForms(0, 1);
  EXPECT_EQ(created[0], 2);
  EXPECT_EQ(visiblePages(), std::vector<int16_t>{0});
}

TEST_F(PageTableTest, SidePictureIsCopiedIntoTheNewPage) {
  PageTable().showPage(2);
  Bmm_CurrentPage() = 2;
  Bint_Ref1Pending() = true;
  Bset().Bset_RefPlat1 = 1;
  Bmm_FormAdvance();
  ASSERT_EQ(Bmm_CurrentPage(), 18);
  EXPECT_EQ(pictureColour(18), QColor(20, 0, 0));
  // Never from the selection screen.
  Bmm_ChangeForms(1, 18);
  Bmm_ChangeForms(20, 1);
  EXPECT_EQ(pictureColour(20), QColor(200, 0, 0));
}

TEST_F(PageTableTest, SelectionScreenTooltipTimerStarts) {
  PageTable().setSlot(1, [] {
    auto* w = new QWidget();
    auto* t = new QTimer(w);
    t->setObjectName("tmrToolTips");
    t->setInterval(100000);
    return w;
  });
  auto* timer = PageTable().page(1)->findChild<QTimer*>("tmrToolTips");
  ASSERT_NE(timer, nullptr);
  PageTable().showPage(19);
  Bmm_CurrentPage() = 19;
  Bmm_FormAdvance();
  EXPECT_TRUE(timer->isActive());
}

TEST_F(PageTableTest, PlaceholderOutputPagesClearTheirFlagAndMoveOn) {
  Bset() = ProductSetup{};
  Bset().Bset_DatesPlat = 12;
  Bset().Bset_RefPlat1 = 1;
  Bset().Bset_RefPlat2 = 1;
  PageTable().setSlot(18, [] { return new PlaceholderPage("frmReference", PageOutput::PcRef); });
  PageTable().setSlot(15, [] { return new PlaceholderPage("frmPilot", PageOutput::Dates); });
  Bint_Ref1Pending() = Bint_Ref2Pending() = Bint_DatesPending() = true;
  PageTable().showPage(2);
  Bmm_CurrentPage() = 2;
  Bmm_FormAdvance();
  std::vector<int16_t> walk = {Bmm_CurrentPage()};
  for (int i = 0; i < 3; ++i) {
    auto* p = dynamic_cast<PlaceholderPage*>(PageTable().loadedPage(Bmm_CurrentPage()));
    ASSERT_NE(p, nullptr) << Bmm_CurrentPage();
    p->cmdNext_Click();
    walk.push_back(Bmm_CurrentPage());
    EXPECT_EQ(visiblePages(), std::vector<int16_t>{Bmm_CurrentPage()});
  }
  // The PC reference page serves both reference outputs of code 1.
  EXPECT_EQ(walk, (std::vector<int16_t>{18, 18, 15, 16}));
  EXPECT_FALSE(Bint_Ref1Pending() || Bint_Ref2Pending() || Bint_DatesPending());
}

class UpdateSettingsCombo : public testing::IsolatedEnvTest {};

TEST_F(UpdateSettingsCombo, SelectsTheStoredIntervalOrKeepsTheSelection) {
  struct Case {
    const char* units;
    const char* quantity;
    const char* recommended;
    int index;  // -1: the earlier selection stays
  } cases[] = {{"2", "1", "", 0},     {"3", "4", "", 5},       {"04", "004", "", 7},
               {"0", "0", "4001", 6}, {"", "", "3002", 4},     {"0", "0", "", -1},
               {"5", "1", "", -1},    {"0", "0", "00000", -1}, {"2", "3", "3001", -1}};
  for (const Case& c : cases) {
    QComboBox box;
    for (const UpdateInterval& i : kUpdateIntervals) box.addItem(i.text, i.code);
    box.setCurrentIndex(2);
    Breg_WriteRegSettings("AutoCUE", "TimerUnits", c.units);
    Breg_WriteRegSettings("AutoCUE", "TimerQuantity", c.quantity);
    Breg_WriteRegSettings("AutoCUE", "Recommended", c.recommended);
    Bint_GetUpdateSettings(box);
    EXPECT_EQ(box.currentIndex(), c.index < 0 ? 2 : c.index) << c.units << "/" << c.quantity << "/" << c.recommended;
  }
}

}  // namespace
}  // namespace pellary
