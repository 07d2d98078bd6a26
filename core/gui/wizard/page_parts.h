// The parts every wizard page is built from, made in one place so that the
// pages keep one look and the names the page engine and tests look for:
// the side picture "imgPicture", the bold title "lblFormTitle", the Back and
// Next buttons "cmdBack" and "cmdNext", and the page's progress bar.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QPoint>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>

namespace pellary {

// A generated side banner: a vertical gradient with a few bands, different
// per variant, sized for the page's left side.
QPixmap makeSidePicture(int variant);

QLabel* addSidePicture(QWidget& page, int variant);
QLabel* addPageTitle(QWidget& page, const QString& text);

// Where every page's side picture, title and buttons sit, so that paging
// never moves them.
inline constexpr QRect kSidePictureRect{0, 0, 150, 410};
inline constexpr QRect kTitleRect{170, 10, 440, 28};
inline constexpr int kFooterTop = 360;
inline constexpr int kFooterRight = 610;  // Next's right edge
inline constexpr int kButtonHeight = 28;

// Next alone ("cmdNext", 28 high) at the footer's place, the page's default
// button. The position a caller gives is kept only for Next's width.
QPushButton* addNextButton(QWidget& page, QPoint at, const QString& text = "&Next >", int width = 90);

// Back ("cmdBack", 90 by 28) and Next 10 pixels to its right, both at the
// footer's place whatever backAt says; Next is the page's default button.
// The page connects them to its own handlers.
struct PageFooter {
  QPushButton* back = nullptr;
  QPushButton* next = nullptr;
};
PageFooter addPageFooter(QWidget& page, QPoint backAt, const QString& nextText = "&Next >", int nextWidth = 90);

// Makes button the page's default: Enter anywhere on the page presses it
// (or the button that has the focus), and the page's focus starts on it.
void makeDefaultButton(QWidget& page, QPushButton* button);
// The button Enter presses on page, or null.
QPushButton* defaultButton(QWidget& page);

// A control that a person fills in or picks from, without a name of its
// own, is named by the caption beside it: a label of the same panel just
// above it or on its left. The label becomes its buddy, so that a screen
// reader says the caption and the label's access key reaches the control.
void nameControlsFromLabels(QWidget& root);

// The page's progress bar: 0 to 100, hidden until its work starts.
QProgressBar* addPageProgress(QWidget& page, const char* name, const QRect& geometry);

}  // namespace pellary
