#include "core/gui/placement.h"

#include <QGuiApplication>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QVariant>

#include <cmath>
#include <limits>

#include "core/wizard/program_end.h"
#include "platform/errors.h"

namespace pellary {

PlacementState& Bpo() {
  static PlacementState state;
  return state;
}

void resetPlacementState() {
  PlacementState& s = Bpo();
  if (s.fixedFrame) UnSubClass(*s.fixedFrame);
  double x = s.overrideX, y = s.overrideY;
  s = PlacementState{};
  s.overrideX = x;
  s.overrideY = y;
}

// --- twips and pixels -------------------------------------------------------

namespace {

QScreen* screenOf(const QWidget* widget) {
  QScreen* screen = widget ? widget->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) raise(err::InvalidCall, "No screen is available");
  return screen;
}

// The twips a helper last set, with the pixel value they became: reading
// back gives those twips while the pixel value is unchanged.
const char* const kLeft = "pellary_twips_left";
const char* const kTop = "pellary_twips_top";
const char* const kWidth = "pellary_twips_width";
const char* const kHeight = "pellary_twips_height";

int32_t readTwips(const QWidget& w, const char* key, int pixels, double tpp) {
  QVariant kept = w.property(key);
  if (kept.isValid()) {
    QPoint p = kept.toPoint();
    if (p.y() == pixels) return p.x();
  }
  return roundToLong(pixels * tpp);
}

int toPixels(int32_t twips, double tpp) { return int(roundToLong(twips / tpp)); }

// Kept only when the widget took the pixel value asked for (a size limit may refuse it).
void keepTwips(QWidget& w, const char* key, int32_t twips, int asked, int got) {
  w.setProperty(key, asked == got ? QVariant(QPoint(twips, got)) : QVariant());
}

// Frame decoration around a window's client area; none for a child.
QSize decoration(const QWidget& w) {
  if (!w.isWindow()) return {0, 0};
  QRect outer = w.frameGeometry();
  return {outer.width() - w.width(), outer.height() - w.height()};
}

int outerWidthPixels(const QWidget& w) { return w.isWindow() ? w.frameGeometry().width() : w.width(); }
int outerHeightPixels(const QWidget& w) { return w.isWindow() ? w.frameGeometry().height() : w.height(); }

}  // namespace

double twipsPerPixelX(const QWidget* widget) {
  if (Bpo().overrideX > 0) return Bpo().overrideX;
  return 1440.0 / screenOf(widget)->logicalDotsPerInchX();
}

double twipsPerPixelY(const QWidget* widget) {
  if (Bpo().overrideY > 0) return Bpo().overrideY;
  return 1440.0 / screenOf(widget)->logicalDotsPerInchY();
}

int twipsToPixelsX(int32_t twips, const QWidget* widget) { return toPixels(twips, twipsPerPixelX(widget)); }
int twipsToPixelsY(int32_t twips, const QWidget* widget) { return toPixels(twips, twipsPerPixelY(widget)); }

QRect twipsToPixels(int32_t left, int32_t top, int32_t width, int32_t height, const QWidget* widget) {
  return QRect(twipsToPixelsX(left, widget), twipsToPixelsY(top, widget), twipsToPixelsX(width, widget),
               twipsToPixelsY(height, widget));
}

void setTwipsPerPixelOverride(double x, double y) {
  Bpo().overrideX = x;
  Bpo().overrideY = y;
}

int32_t roundToLong(double value) {
  if (!std::isfinite(value)) raise(err::Overflow);
  double whole = std::floor(value);
  double rest = value - whole;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < double(std::numeric_limits<int32_t>::min()) || whole > double(std::numeric_limits<int32_t>::max()))
    raise(err::Overflow);
  return int32_t(whole);
}

int32_t formLeft(const QWidget& w) { return readTwips(w, kLeft, w.pos().x(), twipsPerPixelX(&w)); }
int32_t formTop(const QWidget& w) { return readTwips(w, kTop, w.pos().y(), twipsPerPixelY(&w)); }
int32_t formWidth(const QWidget& w) { return readTwips(w, kWidth, outerWidthPixels(w), twipsPerPixelX(&w)); }
int32_t formHeight(const QWidget& w) { return readTwips(w, kHeight, outerHeightPixels(w), twipsPerPixelY(&w)); }

void setFormLeft(QWidget& w, int32_t twips) { moveForm(w, twips, formTop(w)); }
void setFormTop(QWidget& w, int32_t twips) { moveForm(w, formLeft(w), twips); }

void setFormWidth(QWidget& w, int32_t twips) {
  int px = toPixels(twips, twipsPerPixelX(&w));
  w.resize(px - decoration(w).width(), w.height());
  keepTwips(w, kWidth, twips, px, outerWidthPixels(w));
}

void setFormHeight(QWidget& w, int32_t twips) {
  int px = toPixels(twips, twipsPerPixelY(&w));
  w.resize(w.width(), px - decoration(w).height());
  keepTwips(w, kHeight, twips, px, outerHeightPixels(w));
}

void moveForm(QWidget& w, int32_t left, int32_t top) {
  int x = toPixels(left, twipsPerPixelX(&w));
  int y = toPixels(top, twipsPerPixelY(&w));
  w.move(x, y);
  keepTwips(w, kLeft, left, x, w.pos().x());
  keepTwips(w, kTop, top, y, w.pos().y());
}

int32_t screenWidth(const QWidget* widget) {
  return roundToLong(screenOf(widget)->geometry().width() * twipsPerPixelX(widget));
}

int32_t screenHeight(const QWidget* widget) {
  return roundToLong(screenOf(widget)->geometry().height() * twipsPerPixelY(widget));
}

namespace {
// The screen's top left in twips: not 0 for a window on a second screen.
double screenLeft(const QWidget& w) { return screenOf(&w)->geometry().x() * twipsPerPixelX(&w); }
double screenTop(const QWidget& w) { return screenOf(&w)->geometry().y() * twipsPerPixelY(&w); }

void place(QWidget& form, double left, double top) {
  PlacementState& s = Bpo();
  s.left = roundToLong(left);
  s.top = roundToLong(top);
  moveForm(form, s.left, s.top);
}
}  // namespace

// --- the frame window -------------------------------------------------------

void Bpo_FixMainFormWidth(QWidget& frame) {
  trapped("Bpo_FixMainFormWidth", [&] {
    PlacementState& s = Bpo();
    s.twipsPerPixelX = twipsPerPixelX(&frame);
    s.twipsPerPixelY = twipsPerPixelY(&frame);
    // Nearest pixel, so that the fixed size is the size the frame has now
    // even when a pixel is not a whole number of twips.
    s.fixedWidth = roundToLong(formWidth(frame) / s.twipsPerPixelX);
    s.fixedHeight = roundToLong(formHeight(frame) / s.twipsPerPixelY);
    if (!s.mainFrame) s.mainFrame = &frame;
    SubClass(frame);
    programEndRelease() = Bpo_FreeMainFormWidth;
  });
}

void Bpo_FreeMainFormWidth() {
  trapped("Bpo_FreeMainFormWidth", [&] {
    PlacementState& s = Bpo();
    if (s.fixedFrame) UnSubClass(*s.fixedFrame);
    s.fixedFrame = nullptr;
  });
}

void SubClass(QWidget& frame) {
  trapped("SubClass", [&] {
    PlacementState& s = Bpo();
    // Keep the limits from before the first fix only, so that fixing twice
    // and freeing once gives the frame its own limits back.
    if (s.fixedFrame != &frame) {
      if (s.fixedFrame) UnSubClass(*s.fixedFrame);
      s.previousMinimum = frame.minimumSize();
      s.previousMaximum = frame.maximumSize();
      s.fixedFrame = &frame;
    }
    // Qt's limits are on the client area; the fixed size is the outer one.
    QSize deco = decoration(frame);
    QSize client(s.fixedWidth - deco.width(), s.fixedHeight - deco.height());
    frame.setMinimumSize(client);
    frame.setMaximumSize(client);
  });
}

void UnSubClass(QWidget& frame) {
  PlacementState& s = Bpo();
  if (!s.fixedFrame || s.fixedFrame != &frame) return;
  frame.setMinimumSize(s.previousMinimum);
  frame.setMaximumSize(s.previousMaximum);
  s.fixedFrame = nullptr;
}

void Bpo_SetMainFrame(QWidget* frame) { Bpo().mainFrame = frame; }
QWidget* Bpo_MainFrame() { return Bpo().mainFrame; }

// --- placement --------------------------------------------------------------

void Bpo_ChildULAlign(QWidget& form) {
  trapped("Bpo_ChildULAlign", [&] {
    if (form.isWindow())
      place(form, screenLeft(form), screenTop(form));
    else
      place(form, 0, 0);
  });
}

void Bpo_StayOnTop(QWidget& form) {
  trapped("Bpo_StayOnTop", [&] {
    if (form.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return;
    // Changing window flags recreates and hides the window: put it back.
    bool wasShown = !form.isHidden();
    QPoint pos = form.pos();
    QSize size = form.size();
    form.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    form.resize(size);
    form.move(pos);
    if (wasShown) form.show();
  });
}

void Bpo_CenterForm(QWidget& form) {
  trapped("Err_Bpo_CenterForm", [&] {
    place(form, screenLeft(form) + (double(screenWidth(&form)) - formWidth(form)) / 2.0,
          screenTop(form) + (double(screenHeight(&form)) - formHeight(form)) / 2.0);
  });
}

void Bpo_CentreOnScreen(QWidget& form) { Bpo_CenterForm(form); }

void Bpo_CenterAdoptedOnMain(QWidget& form, QWidget& frame) {
  trapped("Bpo_CenterAdoptedOnMain", [&] {
    place(form, (double(formWidth(frame)) - formWidth(form)) / 2.0 + formLeft(frame),
          (double(formHeight(frame)) - formHeight(form)) / 2.0 + formTop(frame));
  });
}

void Bpo_CenterAdoptedOnMain(QWidget& form) {
  trapped("Bpo_CenterAdoptedOnMain", [&] {
    QWidget* frame = Bpo().mainFrame;
    if (!frame) raise(91, "Object variable or With block variable not set");
    Bpo_CenterAdoptedOnMain(form, *frame);
  });
}

void Bpo_URAlign(QWidget& form) {
  trapped("Bpo_URAlign",
          [&] { place(form, screenLeft(form) + double(screenWidth(&form)) - formWidth(form), screenTop(form)); });
}

}  // namespace pellary
