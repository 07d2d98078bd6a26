// Walks a person takes who leaves a dialog with Cancel, goes back from the
// last page, double-clicks, or uses the keyboard alone; and what a screen
// reader is told about every page.
#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include "core/gui/wizard/page_parts.h"
#include "core/wizard/program_end.h"
#include "shell/frmEventPreview.h"
#include "shell/small_pages.h"
#include "system_walk.h"

// Access keys work on a desktop; the offscreen platform turns them off.
void qt_set_sequence_auto_mnemonic(bool on);

namespace pellary {
namespace {

class AccessWalk : public SystemWalk {
 protected:
  void SetUp() override {
    qt_set_sequence_auto_mnemonic(true);
    SystemWalk::SetUp();
  }
  void TearDown() override {
    SystemWalk::TearDown();
    qt_set_sequence_auto_mnemonic(false);
  }
  // A first run that chooses France and writes it into Outlook.
  void firstRunWithFrance() {
    installDemo(3);
    firstStart("");
    addCategory("France");
    selectionScreen().cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
    current<frmManager2>().cmdNext_Click();
    outlookThenFinish();
    endRun();
  }

  // The first Outlook entry file that holds text, its folded lines joined;
  // empty when none.
  static std::string entryHolding(const std::string& text) {
    ol::closeStore();
    for (const auto& e : fs::directory_iterator(calendarFolder().dir))
      if (e.path().extension() == ".ics") {
        std::string ics = std::regex_replace(readFile(e.path()), std::regex("\r?\n[ \t]"), "");
        if (ics.find(text) != std::string::npos) return ics;
      }
    return {};
  }

  // The leaf named text, on its tab, selected as a click selects it.
  Found selectLeaf(const std::string& text) {
    frmManagerMain& s = selectionScreen();
    Found f = findLeaf([&](int t) -> QtTreeView& { return s.categorySelector(t); }, text);
    EXPECT_GE(f.tab, 0) << text;
    if (f.tab < 0) return f;
    testing::showTab(s, f.tab);
    selectOnly(s.categorySelector(f.tab), f.key);
    s.tvCategorySelector_Click(f.tab);
    return f;
  }

  void activateFrame() {
    mainFrame().activateWindow();
    QApplication::setActiveWindow(&mainFrame());
  }

  // A key as the keyboard sends it: to the widget with the focus.
  static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr) << "nothing has the focus";
    QTest::keyClick(focus, Qt::Key(key), modifiers);
  }

  // Tab until the focus is on w; false when a round of the page never gets there.
  static bool tabTo(QWidget* w) {
    for (int i = 0; i < 60 && QApplication::focusWidget() != w; ++i)
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget() == w;
  }

  static void sendMouse(QWidget* w, QEvent::Type type, ulong at) {
    const QPointF local = QRectF(w->rect()).center();
    QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    e.setTimestamp(at);
    QApplication::sendEvent(w, &e);
  }
};

// A record the options dialog made for a country the user never chose must
// not put it into a holiday's note: Preview then Cancel, or add then remove,
// changes nothing.
TEST_F(AccessWalk, AHolidayNamesOnlyTheChosenCountries) {
  firstRunWithFrance();
  const std::string christmas = entryHolding("SUMMARY:Christmas Day");
  ASSERT_FALSE(christmas.empty());
  EXPECT_NE(christmas.find("Public holiday in: France"), std::string::npos) << christmas;

  for (const char* how : {"preview and cancel", "add and remove"}) {
    SCOPED_TRACE(how);
    Bsql_CloseDataBank();
    start();
    toSelection();
    if (std::string(how) == "preview and cancel") {
      selectLeaf("Canada");
      int shown = 0;
      QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<frmEventPreview*>(QApplication::activeModalWidget())) {
          ++shown;
          dialog->cmdCancel_Click();
        }
      });
      selectionScreen().mnuPPreview_Click();
      EXPECT_EQ(shown, 1);
    } else {
      addCategory("Canada");
      removeCategory("Canada");
    }
    expectNoMessages("selection");
    selectionScreen().cmdNext_Click();
    // Nothing was chosen or taken out: nothing changes.
    EXPECT_EQ(Bmm_CurrentPage(), page::NoChanges);
    auto* summary = dynamic_cast<frmManager2*>(PageTable().loadedPage(page::Summary));
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->datesList().rowCount(), 0);
    endRun();
  }
  const std::string after = entryHolding("SUMMARY:Christmas Day");
  EXPECT_EQ(after.find("Canada"), std::string::npos) << after;
  EXPECT_NE(after.find("Public holiday in: France"), std::string::npos) << after;
}

// Back from the last page comes to a page whose buttons work: Continue
// again reaches Finish, which stores the interval; meanwhile the exit
// question says what is true.
TEST_F(AccessWalk, BackFromTheLastPageAndOnAgainReachesFinish) {
  installDemo(3);
  start();
  walkToCalendarPage({"France"}, nullptr);
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  expectNoMessages("Outlook");

  current<frmUpdateSetup>().cmdBack_Click();
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  frmOutlook& outlook = current<frmOutlook>();
  EXPECT_TRUE(outlook.cmdBack->isEnabled());
  EXPECT_TRUE(outlook.cmdNext->isEnabled());
  answer = mb::No;
  Bmm_CancelProgram();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kExitQuestionAfterWriting);
  messages.clear();
  answer = mb::OK;

  const long written = writtenEntries();
  keepTheCalendarWhenOutlookOpens();
  outlook.cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  frmUpdateSetup& setup = current<frmUpdateSetup>();
  setup.optAuto_Click(0);
  setup.cboUpdateTime()->setCurrentIndex(setup.cboUpdateTime()->findText("Every week"));
  EXPECT_THROW(setup.cmdNext_Click(), ProgramEnded);
  expectNoMessages("Finish");
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), "4");
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerQuantity"), "1");
  endRun();
  Bsql_OpenDataBanks();
  // The second write found every entry written: none twice.
  EXPECT_EQ(writtenEntries(), written);
  EXPECT_EQ(long(outlookSubjects().size()), written);
}

// The second click of a double-click on Continue lands where the summary's
// Next now is: the summary stays; a click of its own moves on.
TEST_F(AccessWalk, ADoubleClickOnContinueLeavesTheSummaryShown) {
  installDemo(3);
  start();
  toSelection();
  addCategory("France");
  auto* cont = selectionScreen().findChild<QPushButton*>("cmdNext");
  ASSERT_NE(cont, nullptr);
  const QPoint spot = cont->mapTo(mainFrame().clientArea(), cont->rect().center());
  const ulong t0 = 1'000'000;
  sendMouse(cont, QEvent::MouseButtonPress, t0);
  sendMouse(cont, QEvent::MouseButtonRelease, t0 + 60);
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  QWidget* under = mainFrame().clientArea()->childAt(spot);
  ASSERT_NE(under, nullptr);
  ASSERT_EQ(under->objectName(), "cmdNext") << "the summary's Next lies under the pointer";
  sendMouse(under, QEvent::MouseButtonPress, t0 + 150);
  sendMouse(under, QEvent::MouseButtonDblClick, t0 + 150);
  sendMouse(under, QEvent::MouseButtonRelease, t0 + 210);
  EXPECT_EQ(Bmm_CurrentPage(), page::Summary);
  EXPECT_TRUE(outlookSubjects().empty()) << "nothing is written before the user sees the next page";
  sendMouse(under, QEvent::MouseButtonPress, t0 + 2000);
  sendMouse(under, QEvent::MouseButtonRelease, t0 + 2060);
  EXPECT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  expectNoMessages("summary");
}

// A returning run with keys alone: the banner, a category found by typing
// its name, Continue, the summary, Outlook and Finish.
TEST_F(AccessWalk, AKeyboardOnlyRunFromTheBannerToFinish) {
  firstRunWithFrance();
  Bsql_CloseDataBank();
  start();
  mainFrame().show();
  activateFrame();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
  ASSERT_EQ(QApplication::focusWidget(), current<frmManagerTop>().imgChangeSelection());
  press(Qt::Key_Space);
  ASSERT_EQ(Bmm_CurrentPage(), page::Selection);

  frmManagerMain& s = selectionScreen();
  Found france = findLeaf([&](int t) -> QtTreeView& { return s.categorySelector(t); }, "Germany");
  ASSERT_GE(france.tab, 0);
  // The tabs are buttons: Tab reaches the product's tab, Space selects it.
  if (Bint_CurrentProductTab() != france.tab) {
    ClickImage* tab = nullptr;
    for (ClickImage* place : s.findChildren<ClickImage*>("imgTabsBack"))
      if (place->isVisible() && place->property("product").toInt() == france.tab) tab = place;
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(tabTo(tab));
    press(Qt::Key_Space);
  }
  ASSERT_EQ(Bint_CurrentProductTab(), france.tab);
  QTreeWidget* tree = s.categorySelector(france.tab).widget();
  ASSERT_TRUE(tabTo(tree));
  // Down the tree, every group opened with "*" on the way.
  press(Qt::Key_Home);
  for (int i = 0; i < 300 && tree->currentItem() && tree->currentItem()->text(0) != "Germany"; ++i) {
    press(Qt::Key_Asterisk);
    press(Qt::Key_Down);
  }
  ASSERT_TRUE(tree->currentItem());
  ASSERT_EQ(tree->currentItem()->text(0), "Germany");
  // Tab on to the add arrow (it stays usable when the focus goes to it) and press it.
  auto* add = s.findChild<ClickImage*>("imgEventAdd");
  ASSERT_TRUE(add->isEnabled());
  ASSERT_TRUE(tabTo(add));
  ASSERT_TRUE(add->isEnabled());
  press(Qt::Key_Space);
  ASSERT_TRUE(s.selectedItems().exists(chosenCategoryKey(france.tab, france.key)));

  ASSERT_TRUE(tabTo(s.findChild<QPushButton*>("cmdNext")));
  press(Qt::Key_Space);
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  // Enter presses the page's default button, where the focus starts.
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "cmdNext");
  press(Qt::Key_Return);
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  EXPECT_EQ(QApplication::focusWidget(), current<frmOutlook>().cmdNext);
  press(Qt::Key_Return);
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  expectNoMessages("Outlook");
  frmUpdateSetup& setup = current<frmUpdateSetup>();
  QPushButton* finish = setup.findChild<QPushButton*>("cmdNext");
  EXPECT_EQ(QApplication::focusWidget(), finish);
  EXPECT_TRUE(finish->isDefault());
  // Alt+F is Finish's here, not the File menu's.
  for (QAction* a : mainFrame().menuBar()->actions()) EXPECT_FALSE(a->text().contains("&F")) << a->text().toStdString();
  // The access key presses the button as a click would, shown pressed a moment.
  press(Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(finish->isDown());
  EXPECT_FALSE(mainFrame().mnuFile()->isVisible());
  EXPECT_THROW(QTest::qWait(500), ProgramEnded);
  expectNoMessages("Finish");
  endRun();
  Bsql_OpenDataBanks();
  EXPECT_TRUE(profileCategories().count(1102));
  EXPECT_TRUE(profileCategories().count(1103));
  EXPECT_EQ(outlookSubjects().count("Tag der Deutschen Einheit"), 1u);
}

}  // namespace
}  // namespace pellary

namespace pellary {
namespace {

// Each window a run can show, for the screen reader and the reviewer.
class EveryWindow : public SystemWalk {
 protected:
  struct Window {
    std::string name;
    QWidget* widget;
  };

  void TearDown() override {
    // Children of the frame: gone before it goes.
    options_.reset();
    about_.reset();
    SystemWalk::TearDown();
  }

  // The demo with Outlook, the PC pages and a Series 5 device for reference,
  // so that the Psion reference page has its device.
  void installAndStart() {
    install::Options o;
    o.datesPlat = 3;
    o.refPlat2 = 16;
    o.demo = true;
    install::Result r = install::installProgramFolder(o);
    ASSERT_TRUE(r.demoLoaded) << ::testing::PrintToString(r.notes);
    start();
  }

  // Every wizard page and the dialogs, created as the run creates them.
  std::vector<Window> windows() {
    std::vector<Window> out;
    for (int16_t slot : kPageFillOrder) {
      QWidget* page = nullptr;
      try {
        page = PageTable().page(slot);
      } catch (const ProgramEnded&) {
        ADD_FAILURE() << "creating page " << slot << " ended the program";
      }
      for (const MessageRequest& m : messages) ADD_FAILURE() << "page " << slot << ": " << m.text;
      messages.clear();
      if (page) out.push_back({std::to_string(slot) + "-" + pageFormName(slot), page});
    }
    options_ = std::make_unique<frmEventPreview>([] {}, &mainFrame());
    out.push_back({"dialog-frmEventPreview", options_.get()});
    about_ = std::make_unique<frmAbout>(&mainFrame());
    out.push_back({"dialog-frmAbout", about_.get()});
    if (auto* outlook = dynamic_cast<frmOutlook*>(PageTable().page(datesPlatPage(3))))
      out.push_back({"dialog-frmOutlookGuide", outlook->guide()});
    return out;
  }

  // Controls a person reaches: those that take the focus or act.
  static bool interactive(QWidget* w, QAccessibleInterface* a) {
    if (w->focusPolicy() & Qt::TabFocus) return true;
    switch (a->role()) {
      case QAccessible::Button:
      case QAccessible::CheckBox:
      case QAccessible::RadioButton:
      case QAccessible::ComboBox:
      case QAccessible::EditableText:
      case QAccessible::SpinBox:
      case QAccessible::List:
      case QAccessible::Tree:
      case QAccessible::Table:
      case QAccessible::PageTab:
      case QAccessible::Slider:
      case QAccessible::Link: return true;
      default: return false;
    }
  }

  std::unique_ptr<frmEventPreview> options_;
  std::unique_ptr<frmAbout> about_;
};

// A screen reader can say every control a person can reach on every page
// and dialog: each has a role and a name.
TEST_F(EveryWindow, EveryReachableControlHasAName) {
  installAndStart();
  for (const Window& window : windows()) {
    SCOPED_TRACE(window.name);
    QWidget* root = window.widget;
    int checked = 0;
    for (QWidget* w : root->findChildren<QWidget*>()) {
      if (!w->isVisibleTo(root) || !w->isEnabled()) continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      ASSERT_NE(a, nullptr) << w->objectName().toStdString();
      if (!interactive(w, a)) continue;
      ++checked;
      EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
          << w->metaObject()->className() << " \"" << w->objectName().toStdString() << "\" (role " << int(a->role())
          << ") has no name; accessibleName=\"" << w->accessibleName().toStdString() << "\" iface "
          << typeid(*a).name();
    }
    EXPECT_GT(checked, 0) << "nothing to reach";
  }
  // The picture buttons are buttons; page 16's choices are exclusive radio buttons.
  QAccessibleInterface* arrow =
      QAccessible::queryAccessibleInterface(selectionScreen().findChild<ClickImage*>("imgEventAdd"));
  EXPECT_EQ(arrow->role(), QAccessible::Button);
  auto* setup = dynamic_cast<frmUpdateSetup*>(PageTable().page(page::UpdateSetup));
  ASSERT_NE(setup, nullptr);
  for (int i : {0, 1})
    EXPECT_EQ(QAccessible::queryAccessibleInterface(setup->optAuto(i))->role(), QAccessible::RadioButton);
  setup->optAuto(1)->click();
  EXPECT_FALSE(setup->optAuto(0)->isChecked());
  EXPECT_TRUE(setup->optAuto(1)->isChecked());
}

// Paging never moves the side picture, the title or the buttons; every page
// is drawn into a picture under the build folder for a reviewer to look at.
TEST_F(EveryWindow, PagesShareTheirPartsAndAreDrawnForReview) {
  installAndStart();
  const fs::path shots = PELLARY_SCREENSHOT_DIR;
  fs::create_directories(shots);
  for (const Window& window : windows()) {
    SCOPED_TRACE(window.name);
    QWidget* w = window.widget;
    const QPixmap picture = w->grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(QString::fromStdString((shots / (window.name + ".png")).string()), "PNG"));
    if (window.name.rfind("dialog-", 0) == 0) continue;
    // The selection screen, the banner and the "no changes" page have their own design.
    const std::string form = w->objectName().toStdString();
    if (form == "frmManagerMain" || form == "frmManagerTop" || form == "frmNoSelections") continue;
    // The sign-up page offers two choices in place of Back and Next.
    if (form == "frmRegistration") {
      EXPECT_NE(defaultButton(*w), nullptr);
      continue;
    }
    for (QLabel* img : w->findChildren<QLabel*>("imgPicture", Qt::FindDirectChildrenOnly))
      EXPECT_EQ(img->geometry(), kSidePictureRect);
    if (auto* title = w->findChild<QLabel*>("lblFormTitle", Qt::FindDirectChildrenOnly)) {
      // A long title may take a second line below.
      EXPECT_EQ(title->geometry().topLeft(), kTitleRect.topLeft());
      EXPECT_EQ(title->width(), kTitleRect.width());
    }
    auto* next = w->findChild<QPushButton*>("cmdNext", Qt::FindDirectChildrenOnly);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->geometry().right() + 1, kFooterRight);
    EXPECT_EQ(next->geometry().top(), kFooterTop);
    EXPECT_EQ(next->height(), kButtonHeight);
    if (auto* back = w->findChild<QPushButton*>("cmdBack", Qt::FindDirectChildrenOnly)) {
      EXPECT_EQ(back->geometry().top(), kFooterTop);
      EXPECT_LT(back->geometry().right(), next->geometry().left());
    }
    EXPECT_EQ(defaultButton(*w), next);
  }
}

}  // namespace
}  // namespace pellary
