// A timing line for benchmarks: with PELLARY_REPORT_DRAWN set, the first paint
// of a window prints "pelmon: screen drawn after <s> s" (seconds since the
// process started) on standard output once the paint is done.
#pragma once

class QWidget;

namespace pellary {
void reportFirstPaint(QWidget& window);
}  // namespace pellary
