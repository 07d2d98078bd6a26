#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <functional>
#include <string>

#include "core/gui/placement.h"
#include "core/wizard/program_end.h"
#include "platform/errors.h"

namespace pellary {
namespace {

// 15 twips per pixel whatever the offscreen screen's DPI; reports are caught.
class PlacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPlacementState();
    setTwipsPerPixelOverride(15, 15);
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reportedNumber = number;
      reportedLocation = std::string(location);
      endProgram(1);
    });
  }
  void TearDown() override {
    resetPlacementState();
    setTwipsPerPixelOverride(0, 0);
    setReportHandler({});
  }

  // A hidden top-level window of the given size in twips.
  static void sizeTwips(QWidget& w, int32_t width, int32_t height) {
    setFormWidth(w, width);
    setFormHeight(w, height);
  }

  long reportedNumber = 0;
  std::string reportedLocation;
};

TEST_F(PlacementTest, FixHoldsFrameAtItsSizeUntilFreed) {
  // Shown first, so that the outer size includes the window's decoration.
  QWidget frame;
  frame.show();
  QApplication::processEvents();
  sizeTwips(frame, 9000, 6750);
  ASSERT_EQ(frame.frameGeometry().size(), QSize(600, 450));
  const QSize client = frame.size();

  Bpo_FixMainFormWidth(frame);
  EXPECT_EQ(Bpo().fixedWidth, 600);
  EXPECT_EQ(Bpo().fixedHeight, 450);
  EXPECT_EQ(Bpo().twipsPerPixelX, 15);
  EXPECT_EQ(frame.minimumSize(), client);
  EXPECT_EQ(frame.maximumSize(), client);

  // What dragging the border asks for, and a program-side resize, both stay put.
  frame.resize(800, 600);
  EXPECT_EQ(frame.frameGeometry().size(), QSize(600, 450));
  setFormWidth(frame, 12000);
  EXPECT_EQ(formWidth(frame), 9000);

  Bpo_FreeMainFormWidth();
  frame.resize(800, 600);
  EXPECT_EQ(frame.size(), QSize(800, 600));
  EXPECT_EQ(frame.minimumSize(), QSize(0, 0));
  EXPECT_EQ(frame.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
  EXPECT_TRUE(reportedLocation.empty());
}

TEST_F(PlacementTest, FreeWithoutFixLeavesLimitsAlone) {
  QWidget frame;
  frame.setMinimumSize(100, 80);
  Bpo_FreeMainFormWidth();
  EXPECT_EQ(frame.minimumSize(), QSize(100, 80));
  EXPECT_TRUE(reportedLocation.empty());
}

TEST_F(PlacementTest, FixTwiceFreeOnceRestoresOwnLimits) {
  QWidget frame;
  frame.setMinimumSize(50, 40);
  frame.setMaximumSize(2000, 1500);
  frame.resize(600, 450);
  Bpo_FixMainFormWidth(frame);
  Bpo_FixMainFormWidth(frame);
  Bpo_FreeMainFormWidth();
  EXPECT_EQ(frame.minimumSize(), QSize(50, 40));
  EXPECT_EQ(frame.maximumSize(), QSize(2000, 1500));
}

// The program's end, which lives below the windows, still lets the frame go.
TEST_F(PlacementTest, EndingTheProgramFreesTheFixedFrame) {
  QWidget frame;
  frame.setMinimumSize(50, 40);
  frame.resize(600, 450);
  Bpo_FixMainFormWidth(frame);
  ASSERT_NE(frame.minimumSize(), QSize(50, 40));
  EXPECT_THROW(Bmm_EndProgram(), ProgramEnded);
  EXPECT_EQ(frame.minimumSize(), QSize(50, 40));
  EXPECT_TRUE(reportedLocation.empty());
}

// At 12.5 twips per pixel a whole-number twips-per-pixel would fix the frame
// 26 pixels wider than it is (8000 / 12); the frame must keep its size.
TEST_F(PlacementTest, FixKeepsSizeWhenPixelIsNotWholeTwips) {
  setTwipsPerPixelOverride(12.5, 12.5);
  QWidget frame;
  frame.resize(640, 480);
  Bpo_FixMainFormWidth(frame);
  EXPECT_EQ(Bpo().fixedWidth, 640);
  EXPECT_EQ(Bpo().fixedHeight, 480);
  EXPECT_EQ(frame.size(), QSize(640, 480));
}

TEST_F(PlacementTest, TwipsPerPixelComesFromScreenDpi) {
  setTwipsPerPixelOverride(0, 0);
  QWidget w;
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_DOUBLE_EQ(twipsPerPixelX(&w), 1440.0 / screen->logicalDotsPerInchX());
  EXPECT_DOUBLE_EQ(twipsPerPixelY(&w), 1440.0 / screen->logicalDotsPerInchY());
  EXPECT_EQ(screenWidth(&w), roundToLong(screen->geometry().width() * twipsPerPixelX(&w)));
}

TEST_F(PlacementTest, RoundToLongRoundsHalvesToEven) {
  struct Case {
    double value;
    int32_t expected;
  } cases[] = {{2.5, 2},       {3.5, 4},    {-2.5, -2}, {-1500.5, -1500},
               {4499.5, 4500}, {2.4999, 2}, {-0.6, -1}, {2147483647.0, 2147483647}};
  for (const Case& c : cases) EXPECT_EQ(roundToLong(c.value), c.expected) << c.value;
  EXPECT_THROW(roundToLong(2147483648.0), AppError);
  EXPECT_THROW(roundToLong(-2147483649.0), AppError);
}

// Each placement against the offscreen screen, with a 3000 x 1500 twips form.
TEST_F(PlacementTest, PlacesFormsOnTheScreen) {
  QWidget probe;
  const int32_t sw = screenWidth(&probe), sh = screenHeight(&probe);
  auto half = [](int32_t v) { return roundToLong(v / 2.0); };
  struct Case {
    const char* name;
    std::function<void(QWidget&)> op;
    int32_t width;
    int32_t left, top;
  } cases[] = {
      {"centre", Bpo_CenterForm, 3000, half(sw - 3000), half(sh - 1500)},
      {"centre alias", Bpo_CentreOnScreen, 3000, half(sw - 3000), half(sh - 1500)},
      {"centre wider than screen", Bpo_CenterForm, sw + 3000, -1500, half(sh - 1500)},
      {"top right", Bpo_URAlign, 3000, sw - 3000, 0},
      {"top left", Bpo_ChildULAlign, 3000, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget form;
    sizeTwips(form, c.width, 1500);
    moveForm(form, 750, 450);
    c.op(form);
    EXPECT_EQ(Bpo().left, c.left);
    EXPECT_EQ(Bpo().top, c.top);
    EXPECT_EQ(form.pos(), QPoint(roundToLong(c.left / 15.0), roundToLong(c.top / 15.0)));
    EXPECT_EQ(formWidth(form), c.width) << "size unchanged";
  }
  EXPECT_TRUE(reportedLocation.empty());
}

TEST_F(PlacementTest, ChildAlignGoesToParentsClientOrigin) {
  QWidget parent;
  parent.move(200, 100);
  QWidget page(&parent);
  page.setGeometry(50, 40, 100, 80);
  Bpo_ChildULAlign(page);
  EXPECT_EQ(page.pos(), QPoint(0, 0));
  EXPECT_EQ(page.size(), QSize(100, 80));
}

TEST_F(PlacementTest, CenterAdoptedOnMainIsInFramesScreenPosition) {
  QWidget frame;
  sizeTwips(frame, 9000, 6750);
  moveForm(frame, 1500, 750);
  QWidget form;
  sizeTwips(form, 3000, 1500);

  Bpo_CenterAdoptedOnMain(form, frame);
  EXPECT_EQ(Bpo().left, 4500);
  EXPECT_EQ(Bpo().top, 3375);
  EXPECT_EQ(form.pos(), QPoint(300, 225));

  // The one-argument form uses the frame the fix registered.
  form.move(0, 0);
  Bpo_FixMainFormWidth(frame);
  Bpo_CenterAdoptedOnMain(form);
  EXPECT_EQ(form.pos(), QPoint(300, 225));
}

TEST_F(PlacementTest, CenterAdoptedOnMainWithoutFrameIsReported) {
  QWidget form;
  EXPECT_THROW(Bpo_CenterAdoptedOnMain(form), ProgramEnded);
  EXPECT_EQ(reportedLocation, "Bpo_CenterAdoptedOnMain");
  EXPECT_EQ(reportedNumber, 91);
}

// Beyond 32767 twips (2184 pixels at 15) on a wide desktop.
TEST_F(PlacementTest, LargeCoordinatesDoNotOverflow) {
  QWidget frame;
  sizeTwips(frame, 45000, 15000);
  moveForm(frame, 60000, 36000);
  EXPECT_EQ(formLeft(frame), 60000);
  EXPECT_EQ(frame.pos(), QPoint(4000, 2400));

  QWidget form;
  sizeTwips(form, 3000, 1500);
  Bpo_CenterAdoptedOnMain(form, frame);
  EXPECT_EQ(Bpo().left, 60000 + 21000);
  EXPECT_EQ(Bpo().top, 36000 + 6750);
  EXPECT_EQ(form.pos(), QPoint(5400, 2850));

  Bpo_FixMainFormWidth(frame);
  EXPECT_EQ(Bpo().fixedWidth, 3000);
  EXPECT_EQ(frame.size(), QSize(3000, 1000));
  EXPECT_TRUE(reportedLocation.empty());
}

TEST_F(PlacementTest, StayOnTopKeepsPlaceSizeAndVisibility) {
  QWidget form;
  form.setGeometry(120, 80, 300, 200);
  form.show();
  QApplication::processEvents();
  const QPoint pos = form.pos();
  Bpo_StayOnTop(form);
  QApplication::processEvents();
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.pos(), pos);
  EXPECT_EQ(form.size(), QSize(300, 200));

  QWidget hidden;
  Bpo_StayOnTop(hidden);
  EXPECT_TRUE(hidden.isHidden()) << "a hidden window is not shown";
}

// A value out of the 32-bit range is reported under each operation's own name.
TEST_F(PlacementTest, OverflowIsReportedUnderOperationName) {
  struct Case {
    const char* location;
    std::function<void(QWidget&, QWidget&)> op;
  } cases[] = {
      {"Err_Bpo_CenterForm", [](QWidget& f, QWidget&) { Bpo_CenterForm(f); }},
      {"Err_Bpo_CenterForm", [](QWidget& f, QWidget&) { Bpo_CentreOnScreen(f); }},
      {"Bpo_URAlign", [](QWidget& f, QWidget&) { Bpo_URAlign(f); }},
      {"Bpo_CenterAdoptedOnMain", [](QWidget& f, QWidget& m) { Bpo_CenterAdoptedOnMain(f, m); }},
      {"Bpo_FixMainFormWidth", [](QWidget&, QWidget& m) { Bpo_FixMainFormWidth(m); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location);
    setTwipsPerPixelOverride(15, 15);
    QWidget form, frame;
    form.resize(100, 100);
    frame.resize(600, 400);
    setTwipsPerPixelOverride(1e7, 1e7);
    reportedLocation.clear();
    EXPECT_THROW(c.op(form, frame), ProgramEnded);
    EXPECT_EQ(reportedLocation, c.location);
    EXPECT_EQ(reportedNumber, err::Overflow);
  }
}

}  // namespace
}  // namespace pellary
