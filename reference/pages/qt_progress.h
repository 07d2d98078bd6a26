// pbReference of a reference page as the generator's progress bar.
#pragma once

#include <QPointer>
#include <QProgressBar>

#include "reference/html_generator.h"

namespace pellary {

class QtProgressBar : public ProgressBarView {
 public:
  explicit QtProgressBar(QProgressBar* bar) : bar_(bar) {}
  void setRange(int mn, int mx) override {
    if (bar_) bar_->setRange(mn, mx);
  }
  void setValue(int v) override {
    if (bar_) bar_->setValue(v);
  }
  int value() const override { return bar_ ? bar_->value() : 0; }
  int maximum() const override { return bar_ ? bar_->maximum() : 0; }

 private:
  QPointer<QProgressBar> bar_;
};

// The hourglass on the frame while a page works; restored however the work ends.
class HourglassCursor {
 public:
  HourglassCursor();
  ~HourglassCursor();
  HourglassCursor(const HourglassCursor&) = delete;
  HourglassCursor& operator=(const HourglassCursor&) = delete;
};

}  // namespace pellary
