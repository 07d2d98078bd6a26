// Window placement: the frame window held at its loaded size, and moving a
// window to a corner or the centre of the screen or of the frame window.
//
// Positions and sizes are in twips, as the forms' properties are elsewhere in
// the program; Qt works in (device-independent) pixels, so every value goes
// through the twips-per-pixel of the widget's screen. Values are 32-bit: a
// 16-bit twips value overflows beyond 2184 pixels at 15 twips per pixel.
#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <cstdint>

namespace pellary {

// Module state of Bpo_Position.
struct PlacementState {
  // Twips per pixel read from the screen when the frame was fixed.
  double twipsPerPixelX = 0;
  double twipsPerPixelY = 0;
  // Outer size of the frame, in pixels, at fix time.
  int32_t fixedWidth = 0;
  int32_t fixedHeight = 0;
  // The fixed frame and the size limits it had before; null while nothing is fixed.
  QPointer<QWidget> fixedFrame;
  QSize previousMinimum;
  QSize previousMaximum;
  // Position computed by the last placement operation, in twips.
  int32_t left = 0;
  int32_t top = 0;
  // The frame window that Bpo_CenterAdoptedOnMain(form) centres on.
  QPointer<QWidget> mainFrame;
  // When above 0, used in place of the screen's twips per pixel (tests).
  double overrideX = 0;
  double overrideY = 0;
};

// The window placement's state: the frame's fixed size and position and the screen's scale.
PlacementState& Bpo();
// Frees a fixed frame and clears the state (the twips override stays).
void resetPlacementState();

// --- twips and pixels -------------------------------------------------------

// 1440 / logical DPI of the widget's screen (the primary screen without a widget).
double twipsPerPixelX(const QWidget* widget = nullptr);
double twipsPerPixelY(const QWidget* widget = nullptr);
// A length in twips as pixels of the widget's screen, rounded as the
// placement helpers round; and a whole rectangle given in twips.
int twipsToPixelsX(int32_t twips, const QWidget* widget = nullptr);
int twipsToPixelsY(int32_t twips, const QWidget* widget = nullptr);
QRect twipsToPixels(int32_t left, int32_t top, int32_t width, int32_t height, const QWidget* widget = nullptr);
// Replaces the screen's value with a fixed one; 0 goes back to the screen's.
void setTwipsPerPixelOverride(double x, double y);

// Round half to even, as the program's integer conversions do; raises
// Overflow outside the 32-bit range.
int32_t roundToLong(double value);

// Left and Top: the window's outer position on the screen for a window, the
// position in the parent for a child. Width and Height: outer size of a
// window (frame included), the plain size of a child. A value set through
// these helpers reads back exactly while the widget keeps the pixel value it
// was given, even when the twips do not fall on a whole pixel. Until a window
// is first shown its decoration is unknown and its outer size is its client
// size; Qt keeps the client size when the decoration is added.
int32_t formLeft(const QWidget& w);
int32_t formTop(const QWidget& w);
int32_t formWidth(const QWidget& w);
int32_t formHeight(const QWidget& w);
void setFormLeft(QWidget& w, int32_t twips);
void setFormTop(QWidget& w, int32_t twips);
void setFormWidth(QWidget& w, int32_t twips);
void setFormHeight(QWidget& w, int32_t twips);
// Move with left and top only: the size is unchanged.
void moveForm(QWidget& w, int32_t left, int32_t top);

// Screen size in twips: the screen the widget is on (the primary screen without one).
int32_t screenWidth(const QWidget* widget = nullptr);
int32_t screenHeight(const QWidget* widget = nullptr);

// --- the frame window -------------------------------------------------------

// Keeps the frame at its current outer size: the user cannot resize it by
// dragging its border. Also makes it the frame that Bpo_CenterAdoptedOnMain
// centres on when none is set. Fixing again re-fixes at the then current size.
void Bpo_FixMainFormWidth(QWidget& frame);
// Gives the frame its earlier size limits back; without a fix does nothing.
void Bpo_FreeMainFormWidth();
// Installs the fixed size limits on the frame (the fix's last step).
void SubClass(QWidget& frame);
// Puts the limits kept by SubClass back; does nothing when none are kept.
void UnSubClass(QWidget& frame);

void Bpo_SetMainFrame(QWidget* frame);
QWidget* Bpo_MainFrame();

// --- placement --------------------------------------------------------------

// To left 0, top 0: a child page to the top left of its parent's client area,
// a window to the top left of its screen.
void Bpo_ChildULAlign(QWidget& form);
// Keeps the window above all others, at its place and size.
void Bpo_StayOnTop(QWidget& form);
// Centres the window on its screen.
void Bpo_CenterForm(QWidget& form);
void Bpo_CentreOnScreen(QWidget& form);
// Centres the window over the frame window, in screen coordinates.
void Bpo_CenterAdoptedOnMain(QWidget& form, QWidget& frame);
// The same over the frame set with Bpo_SetMainFrame or fixed last.
void Bpo_CenterAdoptedOnMain(QWidget& form);
// To the top right corner of its screen.
void Bpo_URAlign(QWidget& form);

}  // namespace pellary
