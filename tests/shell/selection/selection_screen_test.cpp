#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include "core/gui/check_list.h"
#include "core/gui/placement.h"
#include "core/gui/plain_text.h"
#include "core/gui/qt_tree_view.h"
#include "core/update_run.h"
#include "platform/msgbox.h"
#include "selection_fixture.h"
#include "shell/frmEventPreview.h"
#include "shell/frmManager2.h"
#include "shell/frmManagerMain.h"
#include "shell/small_pages.h"

namespace pellary {
namespace {

QTreeWidget* tree(QWidget& w, const char* name, int index = -1) {
  for (QTreeWidget* t : w.findChildren<QTreeWidget*>(name))
    if (index < 0 || t->property("index").toInt() == index) return t;
  return nullptr;
}

QTreeWidgetItem* itemOf(QTreeWidget* t, const std::string& key) {
  for (QTreeWidgetItemIterator it(t); *it; ++it)
    if ((*it)->data(0, QtTreeView::kKeyRole).toString().toStdString() == key) return *it;
  return nullptr;
}

void select(QTreeWidget* t, const std::string& key) {
  QTreeWidgetItem* item = itemOf(t, key);
  ASSERT_NE(item, nullptr) << key;
  t->clearSelection();
  t->setCurrentItem(item);
  item->setSelected(true);
}

class SelectionScreen : public testing::SelectionDb {
 protected:
  void SetUp() override {
    SelectionDb::SetUp();
    previous_ = setMessagePresenter([this](const MessageRequest& m) {
      messages.push_back(m);
      return answer;
    });
    Breg_WriteRegSettings("User", "ShowTips", "True");
    Breg_WriteRegSettings("Support", "DatesPlatShortName", "Outlook");
    Breg_WriteRegSettings("Support", "RefPlat1ShortName", "PC");
    Breg_WriteRegSettings("Support", "RefPlat2ShortName", "Palm");
    Breg_WriteRegSettings("Support", "RefPlat2", "8");
    Breg_WriteRegSettings("Settings", "Ref1", "ON");
    Breg_WriteRegSettings("Settings", "Ref2", "off");
    loadProfile();
    screen = std::make_unique<frmManagerMain>();
    screen->attachToScreenLink();
    screenLink().managerMainInitialize();
    Bset_CategoryLists();
  }
  void TearDown() override {
    screen.reset();
    setMessagePresenter(previous_);
    SelectionDb::TearDown();
  }
  QTreeWidget* categoriesTree() { return tree(*screen, "tvCategorySelector", 0); }
  QTreeWidget* chosenTree() { return tree(*screen, "tvSelectedItems"); }
  ClickImage* arrow(const char* name) { return screen->findChild<ClickImage*>(name); }

  std::unique_ptr<frmManagerMain> screen;
  std::vector<MessageRequest> messages;
  int answer = mb::No;
  MessagePresenter previous_;
};

TEST_F(SelectionScreen, LoadShowsHeadingsCaptionsAndTicks) {
  EXPECT_TRUE(screen->loaded());
  EXPECT_TRUE(screen->TipsOn);
  QtTreeView& chosen = screen->selectedItems();
  ASSERT_TRUE(chosen.exists(kNewItemsKey));
  EXPECT_TRUE(chosen.bold(kNewItemsKey));
  EXPECT_EQ(chosen.text(headingKey(30)), "Your existing Events Guide selection");
  EXPECT_TRUE(screen->referenceSelected().exists(headingKey(30)));
  EXPECT_FALSE(chosen.exists(headingKey(1)));  // the other-products entry has none
  EXPECT_EQ(screen->findChild<QLabel*>("lblDatesPlatform")->text(), "for Outlook");
  EXPECT_EQ(screen->findChild<QLabel*>("lblRefPlatforms")->text(), " for PC & Palm");
  auto* ref1 = screen->findChild<QCheckBox*>("chkRef1");
  auto* ref2 = screen->findChild<QCheckBox*>("chkRef2");
  EXPECT_TRUE(ref1->isChecked());
  EXPECT_FALSE(ref2->isChecked());
  EXPECT_FALSE(ref2->isHidden());
  EXPECT_EQ(ref2->text(), "on Palm");
  EXPECT_FALSE(categoriesTree()->isHidden());
  EXPECT_TRUE(screen->findChild<QTextBrowser*>("wbpOtherProducts")->isHidden());
  EXPECT_EQ(frmManagerMain::arrowImage(arrow("imgEventAdd")), 2);
  EXPECT_EQ(frmManagerMain::arrowImage(arrow("imgEventRem")), 4);
  // Two entries: two tab places, no scroll buttons, the cover at 2400 twips.
  EXPECT_TRUE(screen->findChild<QPushButton*>("cmdLeft")->isHidden());
  EXPECT_TRUE(screen->findChild<QPushButton*>("cmdRight")->isHidden());
  auto* cover = screen->findChild<QFrame*>("fraCover");
  EXPECT_FALSE(cover->isHidden());
  EXPECT_EQ(cover->x(), 2400 / 15);
  QList<ClickImage*> tabs = screen->findChildren<ClickImage*>("imgTabsBack");
  ASSERT_EQ(tabs.size(), 4);
  EXPECT_TRUE(tabs[0]->isHidden());  // the selected place shows the page behind it
  EXPECT_FALSE(tabs[1]->isHidden());
  EXPECT_TRUE(tabs[2]->isHidden());
  EXPECT_EQ(tabs[1]->property("product").toInt(), 1);
  // Each tab is named; the selected one is drawn at its place.
  auto* selected = screen->findChild<QLabel*>("imgTabSelected");
  ASSERT_NE(selected, nullptr);
  EXPECT_FALSE(selected->isHidden());
  EXPECT_EQ(selected->geometry(), tabs[0]->geometry());
  EXPECT_EQ(selected->text(), "Events Guide");
  EXPECT_EQ(tabs[1]->toolTip(), plainTip(std::string("Other products")));
}

// The screen's controls are laid out in twips through the screen's own
// twips per pixel, as the frame is, not a fixed 15.
TEST_F(SelectionScreen, ItsControlsFollowTheScreensTwipsPerPixel) {
  for (double tpp : {15.0, 12.0}) {
    setTwipsPerPixelOverride(tpp, tpp);
    frmManagerMain page;
    EXPECT_EQ(tree(page, "tvSelectedItems")->geometry(),
              QRect(roundToLong(5520 / tpp), roundToLong(960 / tpp), roundToLong(3735 / tpp), roundToLong(2775 / tpp)))
        << tpp;
    EXPECT_EQ(page.size(), QSize(roundToLong(9420 / tpp), roundToLong(6105 / tpp))) << tpp;
  }
  setTwipsPerPixelOverride(0, 0);
}

TEST_F(SelectionScreen, AMissingShowTipsSettingEndsTheLoad) {
  screen.reset();
  Breg_DeleteRegSetting("User", "ShowTips");
  screen = std::make_unique<frmManagerMain>();
  screen->attachToScreenLink();
  EXPECT_EQ(endsWith([&] { screen->ensureLoaded(); }), "ManagerMain_frmLoad");
}

TEST_F(SelectionScreen, ArrowsAddAndRemoveTheSelectedCategories) {
  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  select(categoriesTree(), "P007");
  EXPECT_FALSE(arrow("imgEventAdd")->isEnabled());  // a node with children
  select(categoriesTree(), league);
  ASSERT_TRUE(arrow("imgEventAdd")->isEnabled());
  EXPECT_EQ(frmManagerMain::arrowImage(arrow("imgEventAdd")), 1);
  EXPECT_EQ(screen->ToolTipTopic, 93);
  QTest::mouseClick(arrow("imgEventAdd"), Qt::LeftButton);
  const std::string chosenKey = chosenCategoryKey(0, league);
  ASSERT_TRUE(screen->selectedItems().exists(chosenKey));
  EXPECT_EQ(screen->selectedItems().text(chosenKey), "(1 of 2) League, Football, Sport");
  EXPECT_EQ(screen->selectedItems().item(chosenKey)->toolTip(0), "(1 of 2) League, Football, Sport");
  EXPECT_EQ(screen->categorySelector(0).foreColor(league), kColorGrayText);
  EXPECT_FALSE(arrow("imgEventAdd")->isEnabled());

  // A heading selected: nothing to remove.
  select(chosenTree(), kNewItemsKey);
  EXPECT_FALSE(arrow("imgEventRem")->isEnabled());
  screen->tvSelectedItems_DblClick();
  EXPECT_TRUE(screen->selectedItems().exists(chosenKey));

  select(chosenTree(), chosenKey);
  ASSERT_TRUE(arrow("imgEventRem")->isEnabled());
  EXPECT_EQ(frmManagerMain::arrowImage(arrow("imgEventRem")), 3);
  QTest::mouseClick(arrow("imgEventRem"), Qt::LeftButton);
  EXPECT_FALSE(screen->selectedItems().exists(chosenKey));
  EXPECT_NE(screen->categorySelector(0).foreColor(league), kColorGrayText);
  EXPECT_EQ(record(4711).Status, catstate::NotSelected);
}

TEST_F(SelectionScreen, DoubleClicksAddAndRemove) {
  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  select(categoriesTree(), league);
  QTreeWidgetItem* item = itemOf(categoriesTree(), league);
  emit categoriesTree()->itemDoubleClicked(item, 0);
  const std::string chosenKey = chosenCategoryKey(0, league);
  ASSERT_TRUE(screen->selectedItems().exists(chosenKey));
  select(chosenTree(), chosenKey);
  screen->mnuRRemoveFromMySelection_Click();
  EXPECT_FALSE(screen->selectedItems().exists(chosenKey));
}

TEST_F(SelectionScreen, TheOtherProductsTabShowsTheWebPanel) {
  QTest::mouseClick(screen->findChildren<ClickImage*>("imgTabsBack")[1], Qt::LeftButton);
  EXPECT_EQ(Bint_CurrentProductTab(), 1);
  EXPECT_TRUE(categoriesTree()->isHidden());
  EXPECT_FALSE(screen->findChild<QTextBrowser*>("wbpOtherProducts")->isHidden());
  EXPECT_EQ(screen->ToolTipTopic, 91);
  EXPECT_EQ(screen->findChild<QLabel*>("imgTabSelected")->text(), "Other products");
  EXPECT_EQ(screen->findChild<QLabel*>("imgTabSelected")->geometry(),
            screen->findChildren<ClickImage*>("imgTabsBack")[1]->geometry());
  // The panel leaves the chosen items and Continue uncovered.
  const QRect panel = screen->findChild<QTextBrowser*>("wbpOtherProducts")->geometry();
  for (const char* name : {"tvSelectedItems", "tvReferenceSelected", "cmdNext", "chkRef1"}) {
    auto* w = screen->findChild<QWidget*>(name);
    EXPECT_FALSE(panel.intersects(w->geometry())) << name;
  }
  // Web links open outside, local pages inside.
  EXPECT_FALSE(screen->wbpOtherProducts_BeforeNavigate(QUrl("hTtP://example.invalid/")));
  EXPECT_TRUE(screen->wbpOtherProducts_BeforeNavigate(QUrl::fromLocalFile("/nonexistent/page.htm")));
}

TEST_F(SelectionScreen, TheTipsMenuItemSwitchesTipsAndTheSetting) {
  auto* tips = screen->findChild<QAction*>("mnuHDontShowMeTips");
  auto* timer = screen->findChild<QTimer*>("tmrToolTips");
  ASSERT_FALSE(tips->isChecked());
  tips->trigger();
  EXPECT_TRUE(tips->isChecked());
  EXPECT_FALSE(screen->TipsOn);
  EXPECT_FALSE(timer->isActive());
  EXPECT_EQ(Breg_GetRegSetting("User", "ShowTips"), "False");
  tips->trigger();
  EXPECT_FALSE(tips->isChecked());
  EXPECT_TRUE(screen->TipsOn);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(Breg_GetRegSetting("User", "ShowTips"), "True");
}

TEST_F(SelectionScreen, ExitAsksFirst) {
  screen->mnuFExit_Click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, mb::YesNo | mb::Exclamation | mb::DefaultButton2);
  answer = mb::Yes;
  EXPECT_THROW(screen->mnuFExit_Click(), ProgramEnded);
}

TEST_F(SelectionScreen, ContinueStoresTheReferenceTicks) {
  screen->findChild<QCheckBox*>("chkRef1")->setChecked(false);
  screen->findChild<QCheckBox*>("chkRef2")->setChecked(true);
  Bmm_CurrentPage() = page::Selection;
  QTest::mouseClick(screen->findChild<QPushButton*>("cmdNext"), Qt::LeftButton);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref1"), "off");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2"), "on");
  EXPECT_FALSE(screen->findChild<QTimer*>("tmrToolTips")->isActive());
  EXPECT_EQ(Bmm_CurrentPage(), page::NoChanges);
}

// The options dialog opened from the category tree's popup: the choice
// "All", an untick, and OK adding the category.
TEST_F(SelectionScreen, TheOptionsDialogChangesAndAddsTheCategory) {
  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  select(categoriesTree(), league);
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<frmEventPreview*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_EQ(dialog->windowTitle(), "Pellary Almoner");
    EXPECT_EQ(dialog->findChild<QLabel*>("lblCurrentCategory")->text(), "League, Football, Sport");
    EXPECT_EQ(dialog->findChild<QLabel*>("lblCurrentCategory")->textFormat(), Qt::PlainText)
        << "names from the databank are never read as markup";
    EXPECT_EQ(dialog->findChild<QComboBox*>("cboUnit")->count(), 12);
    EXPECT_EQ(dialog->findChild<QComboBox*>("cboUnit")->itemData(6).toInt(), 2049);
    auto* list = dialog->findChild<QTreeWidget*>("lstPreviews");
    ASSERT_EQ(list->topLevelItemCount(), 3);  // the placeholder and the two matches
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(2)->checkState(0), Qt::Unchecked);  // "Most" leaves the minor one out
    dialog->findChild<QRadioButton*>("optAllEvents")->click();
    EXPECT_EQ(record(4711).Status & 0x0180, 0x0100);
    ASSERT_EQ(list->topLevelItemCount(), 3);
    QTreeWidgetItem* minor = list->topLevelItem(2);
    EXPECT_EQ(minor->checkState(0), Qt::Checked);
    minor->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(Bsda().Bsda_ProfileEventList[size_t(Bsda_GetEventIDIndex(2))].Status, 1);  // unticked, not written
    EXPECT_NE(minor->foreground(1).color(), list->palette().color(QPalette::Active, QPalette::Text));
    // Esc with the date panel open closes the panel only.
    dialog->findChild<QPushButton*>("cmdSetDates")->click();
    auto* panel = dialog->findChild<QGroupBox*>("fraSetDates");
    EXPECT_TRUE(panel->isVisible());
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(dialog->isVisible());
    dialog->findChild<QPushButton*>("cmdOk")->click();
  });
  screen->mnuPPreview_Click();
  ASSERT_TRUE(seen);
  const std::string chosenKey = chosenCategoryKey(0, league);
  ASSERT_TRUE(screen->selectedItems().exists(chosenKey));
  EXPECT_EQ(screen->selectedItems().text(chosenKey), "(1 of 2) League, Football, Sport");
  EXPECT_EQ(screen->selectedItems().item(chosenKey)->toolTip(0), "(1 of 2) League, Football, Sport");
  EXPECT_EQ(record(4711).Status, 0x0100 | catstate::Added);
}

TEST_F(SelectionScreen, CancelKeepsTheOptionsAndAddsNothing) {
  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  select(categoriesTree(), league);
  QTimer::singleShot(0, [&] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QRadioButton*>("optOnlyKeyEvents")->click();
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  screen->mnuPPreview_Click();
  EXPECT_FALSE(screen->selectedItems().exists(chosenCategoryKey(0, league)));
  EXPECT_EQ(record(4711).Status, 0x0080);
}

TEST_F(SelectionScreen, OkFromAChosenNodeRecountsItAndAddsNothing) {
  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  select(categoriesTree(), league);
  screen->tvCategorySelector_DblClick(0);
  const std::string chosenKey = chosenCategoryKey(0, league);
  ASSERT_EQ(screen->selectedItems().text(chosenKey), "(1 of 2) League, Football, Sport");
  select(chosenTree(), chosenKey);
  int nodes = screen->selectedItems().count();
  QTimer::singleShot(0, [&] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    auto* ok = dialog->findChild<QPushButton*>("cmdOk");
    EXPECT_EQ(ok->text(), "&Change my selection");
    EXPECT_EQ(dialog->findChild<QLabel*>("lblCurrentCategory")->text(), "League, Football, Sport");
    dialog->findChild<QRadioButton*>("optAllEvents")->click();
    ok->click();
  });
  screen->mnuRPreview_Click();
  EXPECT_EQ(screen->selectedItems().text(chosenKey), "(2 of 2) League, Football, Sport");
  EXPECT_EQ(screen->selectedItems().count(), nodes);
  EXPECT_EQ(record(4711).Status, 0x0100 | catstate::Added);
}

// The options dialog keeps its size; its date panel is framed and takes the
// dialog while open; "Set date range" then OK without touching the dates
// stores a year from today instead of being refused.
TEST_F(SelectionScreen, TheDatePanelTakesTheDialogAndItsDefaultRangeIsAccepted) {
  const std::string league = tertiaryKey(7, 12, 3, 4711, 4);
  select(categoriesTree(), league);
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<frmEventPreview*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    auto* panel = dialog->findChild<QGroupBox*>("fraSetDates");
    dialog->findChild<QPushButton*>("cmdSetDates")->click();
    ASSERT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->title().isEmpty());
    for (const char* behind : {"cmdOk", "cmdCancel", "cmdSetDates"})
      EXPECT_FALSE(dialog->findChild<QPushButton*>(behind)->isEnabled()) << behind;
    EXPECT_FALSE(dialog->findChild<QTreeWidget*>("lstPreviews")->isEnabled());
    auto* start = dialog->findChild<QDateEdit*>("calStartDate");
    auto* end = dialog->findChild<QDateEdit*>("calEndDate");
    dialog->findChild<QCheckBox*>("chkSetDateRange")->click();
    EXPECT_EQ(end->date(), start->date().addYears(1));
    dialog->findChild<QPushButton*>("cmdOkDates")->click();
    EXPECT_FALSE(panel->isVisible()) << "the range was refused";
    EXPECT_TRUE(dialog->findChild<QPushButton*>("cmdOk")->isEnabled());
    dialog->findChild<QPushButton*>("cmdCancel")->click();
  });
  screen->mnuPPreview_Click();
  ASSERT_TRUE(seen);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(record(4711).Duration & 0x4000);
  EXPECT_GT(record(4711).EndDate, record(4711).StartDate);
}

class SummaryPage : public testing::SelectionDb {
 protected:
  void SetUp() override {
    SelectionDb::SetUp();
    Bset().Bset_DatesPlatShortName = "Outlook";
    Bset().Bset_RefPlat1ShortName = "PC";
    loadProfile();
  }
};

TEST_F(SummaryPage, ItsListsAreThePreviewTargetsWhileItLives) {
  {
    frmManager2 page;
    EXPECT_EQ(previewTargets().dates, &page.datesList());
    EXPECT_EQ(previewTargets().reference, &page.referenceList());
    EXPECT_EQ(page.findChild<QLabel*>("lblDatesChanges")->text(), "These changes will be made to your Outlook");
    EXPECT_EQ(page.findChild<QLabel*>("lblReferenceChanges")->text(),
              "These changes will be made to the reference information on your PC");
  }
  EXPECT_EQ(previewTargets().dates, nullptr);
  EXPECT_EQ(previewTargets().reference, nullptr);
  Bset().Bset_RefPlat2ShortName = "Palm";
  frmManager2 page;
  EXPECT_EQ(page.findChild<QLabel*>("lblReferenceChanges")->text(),
            "These changes will be made to the reference information on your PC & handheld device");
}

TEST_F(SummaryPage, UntickingADateRowExcludesAndGreysIt) {
  frmManager2 page;
  Bsda_AddToProfileEventList(42, 4711, 2, 0, 0, 0, "");
  previewTargets().dates->addRow(PreviewRow{"P0000042", "Add", {"02/03/2027", "key match"}, true});
  auto* list = page.findChild<QTreeWidget*>("lstDatePreview");
  ASSERT_EQ(list->topLevelItemCount(), 1);
  QTreeWidgetItem* row = list->topLevelItem(0);
  const QColor normal = list->palette().color(QPalette::Active, QPalette::Text);
  EXPECT_EQ(row->foreground(1).color(), normal);
  row->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(Bsda().Bsda_ProfileEventList[size_t(Bsda_GetEventIDIndex(42))].Status, 9);
  EXPECT_NE(row->foreground(1).color(), normal);
  EXPECT_NE(row->foreground(2).color(), normal);
  EXPECT_EQ(row->foreground(0).color(), normal);
  row->setCheckState(0, Qt::Checked);
  EXPECT_EQ(Bsda().Bsda_ProfileEventList[size_t(Bsda_GetEventIDIndex(42))].Status, 0x4002);
  EXPECT_EQ(row->foreground(1).color(), normal);
}

// The user clicks the header itself: dates sort by day, titles as names sort.
TEST_F(SummaryPage, HeaderClicksSortAscendingThenDescending) {
  frmManager2 page;
  page.show();
  struct Row {
    const char* date;
    const char* title;
  } rows[] = {{"02/03/2027", "Zypern"}, {"01/12/2026", "\xc3\x96sterreich"}, {"15/01/2027", "oman"}};
  for (const Row& r : rows)
    previewTargets().dates->addRow(PreviewRow{std::string("P") + r.title, "Add", {r.date, r.title}, true});
  auto* list = page.findChild<QTreeWidget*>("lstDatePreview");
  auto column = [&](int c) {
    std::vector<std::string> out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out.push_back(list->topLevelItem(i)->text(c).toStdString());
    return out;
  };
  auto click = [&](int section) {
    QHeaderView* h = list->header();
    const QPoint at(h->sectionViewportPosition(section) + h->sectionSize(section) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
  };
  using V = std::vector<std::string>;
  click(2);
  EXPECT_EQ(column(2), (V{"oman", "\xc3\x96sterreich", "Zypern"}));
  click(2);
  EXPECT_EQ(column(2), (V{"Zypern", "\xc3\x96sterreich", "oman"}));
  click(1);
  EXPECT_EQ(column(1), (V{"01/12/2026", "15/01/2027", "02/03/2027"}));
  click(1);
  EXPECT_EQ(column(1), (V{"02/03/2027", "15/01/2027", "01/12/2026"}));
}

TEST_F(SummaryPage, NextAndBackGoThroughThePageEngine) {
  frmManager2 page;
  Bmm_CurrentPage() = page::Summary;
  page.findChild<QPushButton*>("cmdBack")->click();
  EXPECT_EQ(Bmm_CurrentPage(), page::Selection);
  Bmm_CurrentPage() = page::Summary;
  Bupd_UpdateRun() = true;
  page.findChild<QPushButton*>("cmdBack")->click();
  Bupd_UpdateRun() = false;
  EXPECT_EQ(Bmm_CurrentPage(), page::Summary);
}

}  // namespace
}  // namespace pellary

namespace pellary {
namespace {

// Every device's caption shows whole, and nothing of it lies under Continue.
TEST_F(SelectionScreen, TheDeviceTickBoxCaptionIsNeverUnderContinue) {
  for (const char* device : {"Palm", "Handheld PC", "Palm-size PC", "Series 3", "Series 5"}) {
    Breg_WriteRegSettings("Support", "RefPlat2ShortName", device);
    screen.reset();
    screen = std::make_unique<frmManagerMain>();
    screen->attachToScreenLink();
    screenLink().managerMainInitialize();
    auto* ref2 = screen->findChild<QCheckBox*>("chkRef2");
    auto* next = screen->findChild<QPushButton*>("cmdNext");
    ASSERT_EQ(ref2->text(), QString("on ") + device);
    EXPECT_GE(ref2->width(), ref2->sizeHint().width()) << device;
    EXPECT_FALSE(ref2->geometry().intersects(next->geometry())) << device;
    EXPECT_FALSE(ref2->geometry().intersects(screen->findChild<QCheckBox*>("chkRef1")->geometry())) << device;
    EXPECT_TRUE(screen->rect().contains(ref2->geometry())) << device;
  }
}

}  // namespace
}  // namespace pellary
