#include "shell/program.h"

#include <QApplication>
#include <QWidget>
#include <cstdlib>

#include "core/gui/plain_text.h"
#include "core/gui/qt_messages.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "shell/reporter.h"
#include "shell/start.h"

namespace pellary {

bool deliverGuarded(const std::function<bool()>& deliver) {
  try {
    return deliver();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    reportError(currentError().number, "Pelmon", {});
  }
}

namespace {
// The one guard over every slot: Qt must never see an exception.
class GuardedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    return deliverGuarded([&] { return QApplication::notify(receiver, event); });
  }
};
}  // namespace

int runPelmon(int argc, char** argv) {
  std::string commandLine = commandLineText(argc, argv);
  // A scheduled run may have no display: its windows then live offscreen,
  // and no message waits for a click that no one can give.
  setUnattendedRun(environmentIsUnattended());
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  GuardedApplication app(qtArgc, argv);
  showTextAsWritten(app);
  installErrorReporter();
  installQtMessagePresenter();
  bool keepRunning = Main(commandLine);
  // A silent run lives as long as a window it opened stays open.
  if (!keepRunning && QApplication::topLevelWidgets().isEmpty()) return 0;
  bool anyVisible = false;
  for (QWidget* w : QApplication::topLevelWidgets()) anyVisible = anyVisible || w->isVisible();
  if (!anyVisible) return 0;
  return app.exec();
}

}  // namespace pellary
