#include "shell/drawn_report.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

namespace pellary {

namespace {

// Seconds since this process started, from its start time in /proc.
double secondsSinceStart() {
  std::ifstream in("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The fields after the command name, which ends at the last ')'.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long startTicks = 0;
  for (int i = 3; i <= 22 && fields >> field; ++i)
    if (i == 22) startTicks = std::stoull(field);
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9 - double(startTicks) / double(sysconf(_SC_CLK_TCK));
}

class FirstPaint : public QObject {
 public:
  explicit FirstPaint(QWidget& window) : QObject(&window) { window.installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      // The children paint after their window: report once they are done.
      QTimer::singleShot(0, [] {
        std::printf("pelmon: screen drawn after %.3f s\n", secondsSinceStart());
        std::fflush(stdout);
      });
    }
    return false;
  }
};

}  // namespace

void reportFirstPaint(QWidget& window) {
  if (std::getenv("PELLARY_REPORT_DRAWN")) new FirstPaint(window);
}

}  // namespace pellary
