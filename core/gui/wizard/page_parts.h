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

// Next alone ("cmdNext", 28 high) with its top-left corner at at.
QPushButton* addNextButton(QWidget& page, QPoint at, const QString& text = "&Next >", int width = 90);

// Back ("cmdBack", 90 by 28) with its top-left corner at backAt and Next
// 100 pixels to its right. The page connects them to its own handlers.
struct PageFooter {
  QPushButton* back = nullptr;
  QPushButton* next = nullptr;
};
PageFooter addPageFooter(QWidget& page, QPoint backAt, const QString& nextText = "&Next >", int nextWidth = 90);

// The page's progress bar: 0 to 100, hidden until its work starts.
QProgressBar* addPageProgress(QWidget& page, const char* name, const QRect& geometry);

}  // namespace pellary
