// The one tip window of the program. Its text comes from outside (databank
// names, help pages), so it is only ever shown as plain text: markup shows
// as the characters it is made of and never loads anything. It wraps to a
// readable width, sits clear of the pointer (above it, or below it with a
// gap when there is no room above), lets every click through to what lies
// under it, and goes at the next press of a key or button.
#pragma once

#include <QPoint>
#include <QString>

class QLabel;

namespace pellary {

// Widest a tip grows before it wraps, in pixels.
inline constexpr int kTipMaxWidth = 360;

void showPlainTip(const QPoint& pointer, const QString& text);
void hidePlainTip();
// The tip window while it is shown, else null.
QLabel* plainTipWindow();

}  // namespace pellary
