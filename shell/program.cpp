#include "shell/program.h"

#include <QApplication>
#include <QWidget>

#include "shell/qt_messages.h"
#include "shell/reporter.h"
#include "shell/start.h"

namespace pellary {

int runPelmon(int argc, char** argv) {
  std::string commandLine = commandLineText(argc, argv);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
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
