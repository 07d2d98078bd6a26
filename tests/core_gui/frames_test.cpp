#include <gtest/gtest.h>

#include <QFrame>
#include <QGroupBox>
#include <QWidget>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/gui/frames.h"
#include "core/gui/placement.h"
#include "platform/errors.h"

namespace pellary {
namespace {

struct Geometry {
  int32_t top, left, width, height;
  bool operator==(const Geometry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Geometry& g) {
  return os << "top " << g.top << " left " << g.left << " width " << g.width << " height " << g.height;
}

Geometry geometryOf(const QWidget& w) { return {formTop(w), formLeft(w), formWidth(w), formHeight(w)}; }

// A two-step page: three panels, one panel nested in the first, and a plain
// QFrame that is no panel.
class FramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setTwipsPerPixelOverride(15, 15);
    a = makeBox("fraA", &page);
    inner = makeBox("fraInner", a);
    plain = new QFrame(&page);
    plain->setObjectName("fraPlain");
    b = makeBox("fraB", &page);
    c = makeBox("fraC", &page);
  }
  void TearDown() override { setTwipsPerPixelOverride(0, 0); }

  static QGroupBox* makeBox(const char* name, QWidget* parent) {
    auto* box = new QGroupBox(parent);
    box->setObjectName(name);
    box->setGeometry(10, 20, 100, 50);
    return box;
  }

  // The managed panels that are not hidden, by name.
  std::vector<std::string> shown() const {
    std::vector<std::string> names;
    for (QGroupBox* box : frames.ColFrame().frames())
      if (!box->isHidden()) names.push_back(box->objectName().toStdString());
    return names;
  }

  void loadAtDefaults(bool visible) {
    frames.SetDefaultSize(4095, 5895);
    frames.SetDefaultPosition(120, 5280);
    frames.AutoLoad(page, visible);
  }

  static long errorOf(const std::function<void()>& body) {
    try {
      body();
    } catch (const AppError& e) {
      return e.number();
    }
    return 0;
  }

  QWidget page;
  QGroupBox *a, *inner, *b, *c;
  QFrame* plain;
  clsFrames frames;
};

TEST_F(FramesTest, AutoLoadTakesEveryPanelHiddenAtDefaults) {
  loadAtDefaults(false);
  std::vector<std::string> order;
  for (QGroupBox* box : frames.ColFrame().frames()) order.push_back(box->objectName().toStdString());
  EXPECT_EQ(order, (std::vector<std::string>{"fraA", "fraInner", "fraB", "fraC"}));
  for (QGroupBox* box : frames.ColFrame().frames()) {
    SCOPED_TRACE(box->objectName().toStdString());
    EXPECT_TRUE(box->isHidden());
    EXPECT_EQ(geometryOf(*box), (Geometry{120, 5280, 4095, 5895}));
  }
  EXPECT_EQ(b->geometry(), QRect(352, 8, 273, 393));
  EXPECT_FALSE(plain->isHidden()) << "a plain QFrame is no panel";
  EXPECT_EQ(plain->pos(), QPoint(0, 0));
}

// 4095 twips at 12 per pixel is 341.25 pixels; the panel still reads 4095.
TEST_F(FramesTest, DefaultsReadBackExactlyOffWholePixels) {
  setTwipsPerPixelOverride(12, 12);
  loadAtDefaults(true);
  EXPECT_EQ(geometryOf(*c), (Geometry{120, 5280, 4095, 5895}));
  EXPECT_EQ(c->width(), 341);
}

TEST_F(FramesTest, ShowAndHideByName) {
  loadAtDefaults(false);
  struct Case {
    const char* name;
    bool show;
    std::vector<std::string> keys;
    std::vector<std::string> shown;
  } cases[] = {
      {"show A and B", true, {"fraA", "fraB"}, {"fraA", "fraB"}},
      {"names ignore case", true, {"FRAC"}, {"fraC"}},
      {"show none named shows all", true, {}, {"fraA", "fraInner", "fraB", "fraC"}},
      {"hide none named hides all", false, {}, {}},
      {"hide A leaves the rest shown", false, {"fraA"}, {"fraInner", "fraB", "fraC"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_TRUE(k.show ? frames.ShowFrame(k.keys) : frames.HideFrame(k.keys));
    EXPECT_EQ(shown(), k.shown);
  }
}

TEST_F(FramesTest, ArgumentsThenDefaultsThenOwnValue) {
  QGroupBox* loose = makeBox("fraLoose", &page);
  const Geometry own = geometryOf(*loose);
  struct Case {
    const char* name;
    int32_t defaultTop, defaultLeft, defaultWidth, defaultHeight;
    int32_t top, left, width, height;
    Geometry expected;
  } cases[] = {
      {"arguments win", 120, 5280, 4095, 5895, 300, 600, 900, 1200, {300, 600, 900, 1200}},
      {"defaults fill zeros", 120, 5280, 4095, 5895, 0, 600, 0, 1200, {120, 600, 4095, 1200}},
      {"no default keeps own", 0, 0, 0, 0, 0, 0, 0, 0, own},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    clsFrames f;
    f.SetDefaultPosition(k.defaultTop, k.defaultLeft);
    f.SetDefaultSize(k.defaultWidth, k.defaultHeight);
    setFormTop(*loose, own.top);
    setFormLeft(*loose, own.left);
    setFormWidth(*loose, own.width);
    setFormHeight(*loose, own.height);
    EXPECT_TRUE(f.AddFrame(*loose, true, k.top, k.left, k.width, k.height));
    EXPECT_EQ(geometryOf(*loose), k.expected);
    EXPECT_FALSE(loose->isHidden());
  }
}

TEST_F(FramesTest, SetFrameSizeAndPosFallBackToDefaults) {
  frames.AutoLoad(page, true);  // no defaults yet: panels keep their place
  const Geometry own = geometryOf(*b);
  EXPECT_EQ(own, (Geometry{300, 150, 1500, 750}));

  frames.SetFrameSize("fraB", 0, 0);
  frames.SetFramePos("fraB", 0, 0);
  EXPECT_EQ(geometryOf(*b), own) << "zero defaults and zero arguments change nothing";

  frames.SetDefaultSize(4095, 5895);
  frames.SetDefaultPosition(120, 5280);
  frames.SetFrameSize("fraB", 0, 0);
  EXPECT_EQ(geometryOf(*b), (Geometry{300, 150, 4095, 5895}));
  frames.SetFramePos("fraB", 0, 0);
  EXPECT_EQ(geometryOf(*b), (Geometry{120, 5280, 4095, 5895}));

  frames.SetFrameSize("fraB", 2000, 0);
  frames.SetFramePos("fraB", 0, 45000);
  EXPECT_EQ(geometryOf(*b), (Geometry{120, 45000, 2000, 5895}));
}

TEST_F(FramesTest, RemovedPanelKeepsItsState) {
  loadAtDefaults(false);
  frames.ShowFrame({"fraB"});
  EXPECT_TRUE(frames.RemoveFrame({"fraB"}));
  EXPECT_EQ(frames.ColFrame().count(), 3);
  EXPECT_FALSE(frames.ColFrame().contains("fraB"));
  frames.HideFrame({});
  EXPECT_FALSE(b->isHidden());
  frames.ShowFrame({"fraA"});
  EXPECT_FALSE(b->isHidden());
  EXPECT_EQ(shown(), (std::vector<std::string>{"fraA"}));
}

TEST_F(FramesTest, MissingKeyRaisesAndChangesNothing) {
  loadAtDefaults(false);
  frames.ShowFrame({"fraA"});
  const Geometry before = geometryOf(*a);
  struct Case {
    const char* name;
    std::function<void()> body;
  } cases[] = {
      {"SetFrameSize", [&] { frames.SetFrameSize("fraNone", 10, 10); }},
      {"SetFramePos", [&] { frames.SetFramePos("fraNone", 10, 10); }},
      {"ShowFrame",
       [&] {
         frames.ShowFrame({"fraB", "fraNone"});
       }},
      {"HideFrame",
       [&] {
         frames.HideFrame({"fraA", "fraNone"});
       }},
      {"RemoveFrame",
       [&] {
         frames.RemoveFrame({"fraB", "fraNone"});
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(errorOf(k.body), err::InvalidCall);
    EXPECT_EQ(shown(), (std::vector<std::string>{"fraA"}));
    EXPECT_EQ(frames.ColFrame().count(), 4);
  }
  EXPECT_EQ(geometryOf(*a), before);
}

TEST_F(FramesTest, DuplicateNameRaisesWithoutTouchingPanel) {
  loadAtDefaults(false);
  const QRect before = a->geometry();
  EXPECT_EQ(errorOf([&] { frames.AddFrame(*a, true, 1500, 1500, 1500, 1500); }), 457);
  EXPECT_EQ(a->geometry(), before);
  EXPECT_TRUE(a->isHidden());

  QWidget other;
  QGroupBox* twin = makeBox("FRAA", &other);
  EXPECT_EQ(errorOf([&] { frames.AddFrame(*twin, true, 0, 0, 0, 0); }), 457) << "names ignore case";
  EXPECT_EQ(errorOf([&] { frames.AutoLoad(page, true); }), 457);
  EXPECT_EQ(frames.ColFrame().count(), 4);
}

TEST_F(FramesTest, ReplacedOrDeletedPanelsAreLeftAlone) {
  loadAtDefaults(false);
  delete c;
  EXPECT_TRUE(frames.ShowFrame({}));
  EXPECT_EQ(shown(), (std::vector<std::string>{"fraA", "fraInner", "fraB"}));
  EXPECT_EQ(errorOf([&] { frames.ShowFrame({"fraC"}); }), err::InvalidCall);

  frames.ColFrame(FrameCollection{});
  frames.HideFrame({});
  EXPECT_FALSE(a->isHidden()) << "no longer managed";
  EXPECT_EQ(frames.ColFrame().count(), 0);
}

}  // namespace
}  // namespace pellary
