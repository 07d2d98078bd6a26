#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QMenuBar>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>

#include "core/databank.h"
#include "core/gui/help_keys.h"
#include "core/gui/placement.h"
#include "core/gui/plain_tip.h"
#include "core/gui/qt_tree_view.h"
#include "core/gui/wizard/page_table.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/tree_keys.h"
#include "core/wizard/page_engine.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/help/help.h"
#include "platform/process/process.h"
#include "shell/frmMDIMain.h"
#include "shell/frmManagerMain.h"
#include "shell/reporter.h"
#include "shell/selection_procedures.h"
#include "shell/shell_fixture.h"
#include "shell/small_pages.h"
#include "shell/start.h"
#include "update/pages/frmUpdateSetup.h"

namespace pellary {
namespace {

using testing::ShellTest;

class Wizard : public ShellTest {
 protected:
  // Plain pages in these slots, so that a walk tests the engine alone.
  void usePlaceholders(std::initializer_list<std::pair<int16_t, PageOutput>> pages) {
    for (const auto& entry : pages) {
      int16_t slot = entry.first;
      PageOutput output = entry.second;
      pageOverrides()[slot] = [slot, output]() -> QWidget* { return new PlaceholderPage(pageFormName(slot), output); };
    }
  }

  void start(const char* firstRun, const std::string& commandLine = "") {
    install();
    Breg_WriteRegSettings("User", "FirstRun", firstRun);
    ASSERT_TRUE(Main(commandLine));
    ASSERT_TRUE(messages.empty());
  }
  std::vector<int16_t> visiblePages() const {
    std::vector<int16_t> v;
    for (int16_t i = 0; i < kPageCount; ++i)
      if (QWidget* w = PageTable().loadedPage(i); w && w->isVisible()) v.push_back(i);
    return v;
  }
  // Every visible child of the client area.
  int visibleChildren() const {
    int n = 0;
    for (QObject* o : mainFrame().clientArea()->children())
      if (auto* w = qobject_cast<QWidget*>(o); w && w->isVisible()) ++n;
    return n;
  }
  template <class T>
  T& current() {
    auto* p = dynamic_cast<T*>(PageTable().loadedPage(Bmm_CurrentPage()));
    if (!p) throw std::runtime_error("unexpected page " + std::to_string(Bmm_CurrentPage()));
    return *p;
  }
  bool fileMenuEnabled() const { return mainFrame().mnuFile()->menuAction()->isEnabled(); }
};

TEST_F(Wizard, FirstRunShowsTheIntroductionInAFilledTable) {
  start("True");
  EXPECT_EQ(Bmm_CurrentPage(), 0);
  EXPECT_EQ(visiblePages(), std::vector<int16_t>{0});
  EXPECT_EQ(visibleChildren(), 1);
  EXPECT_EQ(PageTable().loadedPage(0)->pos(), QPoint(0, 0));
  // The first page and the summary (which Continue fills before showing it)
  // are loaded; the others load when first shown.
  for (int16_t slot : kPageFillOrder) EXPECT_EQ(PageTable().isLoaded(slot), slot == 0 || slot == page::Summary) << slot;
  for (int16_t slot : {16, 17, 19, 20}) {
    QWidget* w = PageTable().page(slot);
    ASSERT_NE(w, nullptr) << slot;
    EXPECT_EQ(w->objectName().toStdString(), pageFormName(slot));
    EXPECT_EQ(w->parentWidget(), mainFrame().clientArea());
  }
  EXPECT_FALSE(fileMenuEnabled());
  ASSERT_NE(splashWindow(), nullptr);
  EXPECT_FALSE(splashWindow()->isVisible());
  EXPECT_EQ(splashWindow()->findChild<QLabel*>("lblCopyright")->text(), kCopyrightNotice);
  EXPECT_TRUE(splashWindow()->findChild<QLabel*>("imgOrreryLogo")->isHidden());
}

TEST_F(Wizard, FirstPageByFirstRunAndRunMode) {
  struct Case {
    const char* firstRun;
    const char* line;
    int16_t page;
    bool fileMenu;
  } cases[] = {{"True", "", 0, false},
               {"True", "cue_setting", 0, false},
               {"False", "", 19, false},
               {"false", "CUE_SETTING", 1, true},
               {"0", "anything", 19, false}};
  for (const Case& c : cases) {
    start(c.firstRun, c.line);
    EXPECT_EQ(Bmm_CurrentPage(), c.page) << c.firstRun << " " << c.line;
    EXPECT_EQ(visiblePages(), std::vector<int16_t>{c.page});
    EXPECT_TRUE(mainFrame().isVisible());
    EXPECT_EQ(fileMenuEnabled(), c.fileMenu) << c.firstRun << " " << c.line;
    destroyMainFrame();
    resetShellState();
    Bsql_CloseDataBank();
  }
}

TEST_F(Wizard, SilentRunCanCreateAPageWithoutAFrame) {
  install();
  // No update server is reachable, so the silent run ends; its page table stays.
  EXPECT_THROW(Main("cue_timed"), ProgramEnded);
  messages.clear();
  EXPECT_EQ(splashWindow(), nullptr);
  QWidget* palm = PageTable().page(page::PalmRef);
  ASSERT_NE(palm, nullptr);
  EXPECT_EQ(palm->objectName(), "frmPalmRef");
  EXPECT_FALSE(palm->isVisible());
  EXPECT_FALSE(mainFrameExists());
}

TEST_F(Wizard, PartnerLogoOnTheSplashWithTheFirstPartnerProduct) {
  install();
  {
    dao::Database db = dao::Database::open((home() / "almoner.db").string());
    db.execute(
        "INSERT INTO Products (ProductID, ProgProductID, ProductName, Status, Viewers, GenDates) "
        "VALUES (7, 70, 'Partner edition', 1, 1, 0)");
  }
  Breg_WriteRegSettings("Support", "Node0", "7");
  Breg_WriteRegSettings("Support", "HighNodeCount", "0");
  ASSERT_TRUE(Main(""));
  EXPECT_FALSE(splashWindow()->findChild<QLabel*>("imgOrreryLogo")->isHidden());
}

TEST_F(Wizard, IntroductionStepsThenTheSelectionScreen) {
  start("True");
  frmIntro& intro = current<frmIntro>();
  auto visible = [&](const char* name) { return !intro.findChild<QLabel*>(name)->isHidden(); };
  struct State {
    bool image0, image1, mark0, mark1, mark2, label2, label3, logo;
  } states[] = {{true, false, true, false, false, false, false, false},
                {false, true, false, true, false, true, false, false},
                {false, false, false, false, true, true, true, true}};
  for (int step = 0; step < 3; ++step) {
    const State& s = states[step];
    EXPECT_EQ(intro.step(), step);
    EXPECT_EQ(!intro.sideImage(0)->isHidden(), s.image0) << step;
    EXPECT_EQ(!intro.sideImage(1)->isHidden(), s.image1) << step;
    EXPECT_EQ(!intro.stepMark(0)->isHidden(), s.mark0) << step;
    EXPECT_EQ(!intro.stepMark(1)->isHidden(), s.mark1) << step;
    EXPECT_EQ(!intro.stepMark(2)->isHidden(), s.mark2) << step;
    EXPECT_EQ(visible("Label2"), s.label2) << step;
    EXPECT_EQ(visible("Label3"), s.label3) << step;
    EXPECT_EQ(visible("imgPellLogo"), s.logo) << step;
    EXPECT_TRUE(visible("Label1"));
    intro.findChild<QPushButton*>("cmdBack")->click();  // does nothing here
    EXPECT_EQ(Bmm_CurrentPage(), 0);
    intro.findChild<QPushButton*>("cmdNext")->click();
  }
  EXPECT_EQ(Bmm_CurrentPage(), 1);
  EXPECT_EQ(visiblePages(), std::vector<int16_t>{1});
  EXPECT_FALSE(PageTable().isLoaded(0));
  EXPECT_TRUE(fileMenuEnabled());
  // The tips count from the first entry to the selection screen.
  EXPECT_TRUE(selectionScreen().findChild<QTimer*>("tmrToolTips")->isActive());
  EXPECT_EQ(intro.findChild<QLabel*>("Label1")->text().toStdString(),
            "Choose from a wealth of information on the left...\n\n"
            "...to create your own selection on the right ready for your electronic calendar");
}

TEST_F(Wizard, AStartOnTheSelectionScreenRunsTheTipTimer) {
  start("False", "cue_setting");
  ASSERT_EQ(Bmm_CurrentPage(), page::Selection);
  EXPECT_TRUE(selectionScreen().findChild<QTimer*>("tmrToolTips")->isActive());
  EXPECT_NEAR(Bint_ToolTipStamp(), toolTipStampNow(), 2);
}

// A tip is the topic's text near the pointer; no browser starts. It is
// wrapped to a readable width, holds the topic's text without the page's
// links, sits clear of the pointer and lets the next click through.
TEST_F(Wizard, ATipShowsInsideTheProgram) {
  start("False", "cue_setting");
  std::vector<std::string> opened;
  platform::process::setDesktopLauncher([&](const std::string& target, const std::string&) {
    opened.push_back(target);
    return 42;
  });
  mainFrame().activateWindow();
  QApplication::setActiveWindow(&mainFrame());
  ASSERT_EQ(QApplication::activeWindow(), &mainFrame());
  const QPoint pointer(300, 300);
  QCursor::setPos(pointer);
  int32_t topic = 94;
  Bint_ManMainToolTips(topic);
  platform::process::setDesktopLauncher(nullptr);
  EXPECT_TRUE(opened.empty());
  QLabel* tip = plainTipWindow();
  ASSERT_NE(tip, nullptr);
  const QString text = tip->text();
  EXPECT_TRUE(text.contains("remove arrow")) << text.toStdString();
  EXPECT_FALSE(text.contains("Contents")) << text.toStdString();
  EXPECT_FALSE(text.contains("Search")) << text.toStdString();
  EXPECT_EQ(tip->textFormat(), Qt::PlainText);
  EXPECT_LE(tip->width(), kTipMaxWidth);
  EXPECT_TRUE(tip->wordWrap());
  EXPECT_FALSE(tip->geometry().adjusted(-8, -8, 8, 8).contains(QCursor::pos())) << "the tip lies where the pointer is";
  EXPECT_TRUE(tip->windowFlags() & Qt::WindowTransparentForInput);
  hidePlainTip();
}
TEST_F(Wizard, ExitQuestionNoLeavesEverythingYesEnds) {
  start("False");
  Bint_DatesPending() = true;
  answer = mb::No;
  mainFrame().mnuFExit_Click();
  EXPECT_FALSE(mainFrame().close());
  ASSERT_EQ(messages.size(), 2u);
  for (const MessageRequest& m : messages) {
    EXPECT_EQ(m.text, kExitQuestion);
    EXPECT_EQ(m.style, mb::YesNo | mb::Exclamation | mb::DefaultButton2);
    EXPECT_EQ(m.title, "Pellary Almoner");
  }
  EXPECT_TRUE(mainFrame().isVisible());
  EXPECT_EQ(Bmm_CurrentPage(), 19);
  EXPECT_EQ(visiblePages(), std::vector<int16_t>{19});
  EXPECT_TRUE(Bint_DatesPending());
  EXPECT_TRUE(Bsql_DataBank().isOpen());
  answer = mb::Yes;
  EXPECT_THROW(mainFrame().mnuFExit_Click(), ProgramEnded);
  EXPECT_THROW(mainFrame().QueryUnload(), ProgramEnded);
  EXPECT_FALSE(Bsql_DataBank().isOpen());
}

TEST_F(Wizard, NothingChangedExitEndsWithoutAQuestion) {
  usePlaceholders({{1, PageOutput::None}, {2, PageOutput::None}, {4, PageOutput::Dates}});
  start("False", "cue_setting");
  current<PlaceholderPage>().findChild<QPushButton*>("cmdNext")->click();
  ASSERT_EQ(Bmm_CurrentPage(), 20);
  frmNoSelections& page = current<frmNoSelections>();
  EXPECT_EQ(page.findChild<QLabel*>("lblFormInfo")->text().toStdString(),
            "You have not made any changes to your selection!    \n\nYou can either return to make some changes "
            "to your selection, configure your Internet update service, or exit the program at this point");
  page.findChild<QPushButton*>("cmdReviseSelection")->click();
  EXPECT_EQ(Bmm_CurrentPage(), 1);
  Bmm_FormAdvance();
  current<frmNoSelections>().findChild<QPushButton*>("cmdUpdateSettings")->click();
  EXPECT_EQ(Bmm_CurrentPage(), 16);
  Bmm_FormReverse();  // back to the calendar page of code 3
  EXPECT_EQ(Bmm_CurrentPage(), 4);
  Bmm_ChangeForms(20, Bmm_CurrentPage());
  EXPECT_THROW(current<frmNoSelections>().cmdExitProgram_Click(), ProgramEnded);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Wizard, OnePageVisibleThroughTheWholeWalk) {
  usePlaceholders({{1, PageOutput::None},
                   {2, PageOutput::None},
                   {4, PageOutput::Dates},
                   {18, PageOutput::PcRef},
                   {22, PageOutput::DeviceRef}});
  start("False");
  Bset().Bset_RefPlat2 = 4;
  // The banner moves on with a double click even while busy.
  frmManagerTop& banner = current<frmManagerTop>();
  banner.imgChangeSelection()->setCursor(Qt::WaitCursor);
  banner.imgChangeSelection_Click();
  EXPECT_EQ(Bmm_CurrentPage(), 19);
  banner.imgChangeSelection_DblClick();
  ASSERT_EQ(Bmm_CurrentPage(), 1);
  EXPECT_FALSE(PageTable().isLoaded(19));
  Bint_Ref1Pending() = Bint_Ref2Pending() = Bint_DatesPending() = true;
  std::vector<int16_t> walk = {Bmm_CurrentPage()};
  while (Bmm_CurrentPage() != 16 && walk.size() < 10) {
    current<PlaceholderPage>().findChild<QPushButton*>("cmdNext")->click();
    walk.push_back(Bmm_CurrentPage());
    EXPECT_EQ(visibleChildren(), 1) << Bmm_CurrentPage();
    EXPECT_EQ(visiblePages(), std::vector<int16_t>{Bmm_CurrentPage()});
  }
  EXPECT_EQ(walk, (std::vector<int16_t>{1, 2, 18, 22, 4, 16}));
  // The summary's side picture travelled along.
  QImage summary = pagePicture(*PageTable().page(2)).toImage();
  EXPECT_EQ(pagePicture(*PageTable().page(16)).toImage(), summary);
  // Back to the summary and the selection screen: the banner does not return.
  Bmm_FormReverse();
  Bmm_FormReverse();
  Bmm_FormReverse();
  EXPECT_EQ(Bmm_CurrentPage(), 1);
  EXPECT_FALSE(PageTable().isLoaded(19));
  EXPECT_EQ(visibleChildren(), 1);
}

TEST_F(Wizard, FrameClientAreaIsFixedInTwips) {
  for (double tpp : {15.0, 12.0}) {
    setTwipsPerPixelOverride(tpp, tpp);
    start("True");
    frmMDIMain& frame = mainFrame();
    QWidget* client = frame.clientArea();
    EXPECT_EQ(client->width(), roundToLong(9420 / tpp));
    EXPECT_EQ(client->height(), roundToLong(6105 / tpp));
    EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
    frame.resize(frame.width() + 100, frame.height() + 80);
    QCoreApplication::processEvents();
    EXPECT_EQ(client->size(), QSize(roundToLong(9420 / tpp), roundToLong(6105 / tpp)));
    // Pages fill the client area.
    EXPECT_EQ(PageTable().loadedPage(0)->size(), client->size());
    destroyMainFrame();
    resetShellState();
    Bsql_CloseDataBank();
  }
  setTwipsPerPixelOverride(0, 0);
}

TEST_F(Wizard, HelpMenuOpensContentsAndSupportPage) {
  start("True");
  std::vector<platform::help::Command> help;
  platform::help::setHelpHook([&](const platform::help::Request& r) { help.push_back(r.command); });
  std::vector<std::string> opened;
  platform::process::setDesktopLauncher([&](const std::string& target, const std::string&) {
    opened.push_back(target);
    return 42;
  });
  mainFrame().mnuHContents_Click();
  mainFrame().mnuHTechnicalSupport_Click();
  platform::help::setHelpHook(nullptr);
  platform::process::setDesktopLauncher(nullptr);
  EXPECT_EQ(help, std::vector<platform::help::Command>{platform::help::Command::Contents});
  EXPECT_EQ(opened, std::vector<std::string>{kTechnicalSupport});
  EXPECT_EQ(mainFrame().cursor().shape(), Qt::ArrowCursor);
  auto names = [](QMenu* m) {
    std::vector<std::string> v;
    for (QAction* a : m->actions()) v.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
    return v;
  };
  EXPECT_EQ(names(mainFrame().mnuFile()), std::vector<std::string>{"mnuFExit"});
  EXPECT_EQ(names(mainFrame().mnuHelp()),
            (std::vector<std::string>{"mnuHThisPage", "mnuHContents", "-", "mnuHTechnicalSupport", "-", "mnuHAbout"}));
}

// While the selection screen is on screen its own File and Help menus stand in
// the frame's menu bar; its About is modal over the frame like the frame's.
TEST_F(Wizard, TheSelectionScreensMenusReplaceTheFramesWhileItShows) {
  usePlaceholders({{2, PageOutput::Dates}});
  start("False", "cue_setting");
  ASSERT_EQ(Bmm_CurrentPage(), page::Selection);
  auto bar = [] {
    std::vector<QMenu*> v;
    for (QAction* a : mainFrame().menuBar()->actions())
      if (a->isVisible() && a->menu()) v.push_back(a->menu());
    return v;
  };
  frmManagerMain& screen = selectionScreen();
  ASSERT_EQ(bar(), (std::vector<QMenu*>{screen.mnuFile(), screen.mnuHelp()}));
  auto names = [](QMenu* m) {
    std::vector<std::string> v;
    for (QAction* a : m->actions()) v.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
    return v;
  };
  EXPECT_EQ(names(screen.mnuFile()), std::vector<std::string>{"mnuFExit"});
  EXPECT_EQ(names(screen.mnuHelp()), (std::vector<std::string>{"mnuHThisPage", "mnuHContents", "mnuHDontShowMeTips",
                                                               "-", "mnuHTechnicalSupport", "-", "mnuHAbout"}));
  EXPECT_TRUE(screen.mnuFile()->menuAction()->isEnabled());

  bool modal = false;
  QTimer::singleShot(0, [&] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    modal = w->objectName() == "frmAbout" && w->window() != &mainFrame();
    w->findChild<QPushButton*>("cmdOk")->click();
  });
  screen.findChild<QAction*>("mnuHAbout")->trigger();
  EXPECT_TRUE(modal);

  Bmm_FormAdvance();  // the summary: the frame's menus are back
  ASSERT_NE(Bmm_CurrentPage(), page::Selection);
  EXPECT_EQ(bar(), (std::vector<QMenu*>{mainFrame().mnuFile(), mainFrame().mnuHelp()}));
}

TEST_F(Wizard, AboutBoxIsModalOverTheFrameAndOpensTheHomePage) {
  start("True");
  mainFrame().setWindowIcon(QIcon(makeLogo("P", Qt::red)));
  std::string shownName;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    shownName = w->objectName().toStdString();
    modal = w->parentWidget() == &mainFrame();
    w->findChild<QPushButton*>("cmdOk")->click();
  });
  mainFrame().mnuHAbout_Click();
  EXPECT_EQ(shownName, "frmAbout");
  EXPECT_TRUE(modal);

  frmAbout about(&mainFrame());
  EXPECT_EQ(about.windowIcon().cacheKey(), mainFrame().windowIcon().cacheKey());
  EXPECT_TRUE(about.findChild<QTextEdit*>("txtInstalledComponents")->toPlainText().contains("Pellary Almoner"));
  std::vector<std::string> opened;
  platform::process::setDesktopLauncher([&](const std::string& target, const std::string&) {
    opened.push_back(target);
    return 2;  // a failed start is not reported
  });
  about.lblWebLink_Click();
  platform::process::setDesktopLauncher(nullptr);
  EXPECT_EQ(opened, std::vector<std::string>{kMakerHome});
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace pellary

namespace pellary {
namespace {

// Every page and dialog has a topic of its own in the installed help, and F1
// opens the topic of the window in front.
TEST_F(Wizard, F1OpensTheTopicOfThePageOrDialogInFront) {
  start("False");
  for (int16_t slot : kPageFillOrder) {
    const int32_t topic = pageHelpTopic(slot);
    ASSERT_GT(topic, 0) << slot;
    EXPECT_FALSE(platform::help::topicText(topic).empty()) << "slot " << slot << " topic " << topic;
  }
  for (int32_t topic : {helptopic::EventOptions, helptopic::About, helptopic::OutlookGuide, helptopic::Portal,
                        helptopic::UpdatePreview, helptopic::ErrorMessage})
    EXPECT_FALSE(platform::help::topicText(topic).empty()) << topic;

  std::vector<platform::help::Request> asked;
  platform::help::setHelpHook([&](const platform::help::Request& r) { asked.push_back(r); });
  mainFrame().activateWindow();
  QApplication::setActiveWindow(&mainFrame());
  ASSERT_EQ(Bmm_CurrentPage(), page::Banner);
  QTest::keyClick(PageTable().loadedPage(page::Banner), Qt::Key_F1);
  // The Help menu asks for the same topic.
  mainFrame().mnuHThisPage_Click();
  frmAbout about(&mainFrame());
  QTimer::singleShot(0, [&] {
    QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_F1);
    about.close();
  });
  about.exec();
  platform::help::setHelpHook(nullptr);
  ASSERT_EQ(asked.size(), 3u);
  for (const auto& r : asked) EXPECT_EQ(r.command, platform::help::Command::Topic);
  EXPECT_EQ(asked[0].topic, pageHelpTopic(page::Banner));
  EXPECT_EQ(asked[1].topic, pageHelpTopic(page::Banner));
  EXPECT_EQ(asked[2].topic, helptopic::About);
}

// A name from the databank in a tree's tip is text: markup shows as its
// characters and loads nothing.
TEST_F(Wizard, ATreeTipShowsADatabankNameAsPlainText) {
  start("False", "cue_setting");
  frmManagerMain& screen = selectionScreen();
  QtTreeView& chosen = screen.selectedItems();
  const std::string name = "<img src=\"file:///dev/zero\"> <b>bold</b>";
  chosen.add(kNewItemsKey, TreeRelation::Next, "K00P0010010010471100004", name);
  QTreeWidget* tree = chosen.widget();
  tree->show();
  QTreeWidgetItem* item = chosen.item("K00P0010010010471100004");
  ASSERT_NE(item, nullptr);
  const QPoint at = tree->visualItemRect(item).center();
  QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree->viewport(), &help);
  QLabel* tip = plainTipWindow();
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(tip->text().toStdString(), name);
  EXPECT_EQ(tip->textFormat(), Qt::PlainText);
  EXPECT_FALSE(QToolTip::isVisible());
  hidePlainTip();
}

}  // namespace
}  // namespace pellary
