#include "hushbank/hushbank.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/app.h"
#include "core/error_log.h"
#include "core/databank.h"
#include "hushbank/frm_main.h"
#include "hushbank/loaders.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"

namespace pellary::hushbank {

namespace {

std::unique_ptr<frmMain>& notice() {
  static std::unique_ptr<frmMain> w;
  return w;
}

int showQtMessage(const MessageRequest& req) {
  QString text = QString::fromStdString(req.text);
  text.replace("\r\n", "\n").replace('\r', '\n');
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(req.title), text, QMessageBox::Ok);
  box.exec();
  return mb::OK;
}

// Unattended runs write the message to standard error, one line per line.
int printMessage(const MessageRequest& req) {
  std::string text = req.text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  std::fprintf(stderr, "%s: %s\n", req.title.c_str(), out.c_str());
  return mb::OK;
}

}  // namespace

bool isSilent(std::string_view commandLine) { return paths::equalsIgnoreCase(commandLine, "silent"); }

std::string errorMessageText(int32_t number, std::string_view procedure, std::string_view extra) {
  std::string m = "An error has occurred in the application.";
  m += "\r\r";
  m += "Please press F1 for possible solutions to the problem before ";
  m += "clicking on OK which will shut down the application.";
  m += "\r\r";
  m += "If this problem persists, note the details below and contact ";
  m += "Brackwater limited";
  m += "\r\r";
  m += "Details:\t";
  m += procedure;
  m += "\t";
  m += std::to_string(number);
  m += "\r\n";
  m += extra;
  return m;
}

void Bmm_ReportError(int32_t number, std::string_view procedure, std::string_view extra) {
  if (qApp) QApplication::restoreOverrideCursor();
  MsgBox(errorMessageText(number, procedure, extra), mb::OKOnly | mb::Critical, appTitle());
  appendErrorLog(errorLogLine(number, procedure, currentError().description));
  Bmm_EndProgram();
}

void Bmm_EndProgram() {
  Bsql_CloseDataBank();
  notice().reset();
  endProgram(0);
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
    runLoaders();
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
  // A silent run needs no display: without one, messages go to standard error.
  const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
  std::unique_ptr<QApplication> app;
  // Unattended runs (the installer's, the tests') never wait on a dialog.
  setMessagePresenter(printMessage);
  if (!isSilent(commandLine) || display) {
    static int qtArgc = 1;
    app = std::make_unique<QApplication>(qtArgc, argv);
    if (!std::getenv("PELLARY_UNATTENDED")) setMessagePresenter(showQtMessage);
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
