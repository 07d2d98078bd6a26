#include "hushbank/hushbank.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/app.h"
#include "core/databank.h"
#include "core/error_log.h"
#include "core/gui/plain_text.h"
#include "core/gui/qt_messages.h"
#include "hushbank/frmMain.h"
#include "hushbank/loaders.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "update/cue/cue_loaders.h"

namespace pellary::hushbank {

namespace {

std::unique_ptr<frmMain>& notice() {
  static std::unique_ptr<frmMain> w;
  return w;
}

}  // namespace

std::chrono::milliseconds& settleTime() {
  static std::chrono::milliseconds settle{500};
  return settle;
}

bool isSilent(std::string_view commandLine) { return paths::equalsIgnoreCase(commandLine, "silent"); }

std::string errorMessageText(int32_t number, std::string_view procedure, std::string_view extra) {
  return errorReportText(
      "Please press F1 for possible solutions to the problem before clicking on OK which will shut down the "
      "application.",
      "Brackwater limited", number, procedure, extra);
}

// The log line goes first: a message no one answers must not lose the error.
void Bmm_ReportError(int32_t number, std::string_view procedure, std::string_view extra) {
  if (qApp) QApplication::restoreOverrideCursor();
  appendErrorLog(errorLogLine(number, procedure, currentError().description));
  MsgBox(errorMessageText(number, procedure, extra), mb::OKOnly | mb::Critical, appTitle());
  Bmm_EndProgram(1);
}

void Bmm_EndProgram(int exitStatus) {
  try {
    Bsql_CloseDataBank();
  } catch (...) {
  }
  notice().reset();
  endProgram(exitStatus);
}

void installErrorReporter() {
  setReportHandler([](long number, std::string_view location, std::string_view extra) {
    Bmm_ReportError(int32_t(number), location, extra);
  });
}

void Main(const std::string& commandLine) {
  trapped("Main", [&] {
    if (!isSilent(commandLine) && qApp) {
      notice() = std::make_unique<frmMain>();
      notice()->show();
      QApplication::processEvents();
    }
    setAppTitle(kAppTitle);
    if (qApp) QApplication::setOverrideCursor(Qt::WaitCursor);
    Bsql_OpenDataBanks();
    Bcue_Engine().settle = settleTime();
    runLoaders();
    Bsql_RefreshPlannerStatistics();
    if (qApp) QApplication::restoreOverrideCursor();
  });
  Bmm_EndProgram();
}

int runHushbank(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  installErrorReporter();
  // Unattended runs (the installer's, a scheduler's, the tests') never wait on
  // a dialog: the error goes to the log and standard error, and the run ends.
  setUnattendedRun(environmentIsUnattended());
  // Without a display there is no window to show, and Qt must not be started.
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  const bool display = set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
  std::unique_ptr<QApplication> app;
  if (display) {
    static int qtArgc = 1;
    app = std::make_unique<QApplication>(qtArgc, argv);
    showTextAsWritten(*app);
    installQtMessagePresenter();
  }
  setEndHandler([&app](int code) {
    std::fflush(nullptr);
    notice().reset();
    app.reset();
    std::_Exit(code);
  });
  Main(commandLine);
}

}  // namespace pellary::hushbank
