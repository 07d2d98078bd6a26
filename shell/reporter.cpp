#include "shell/reporter.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "core/app.h"
#include "core/databank.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"

namespace pellary {

namespace {

// A logged text stays one quoted field on one line.
std::string logField(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '"')
      out += "\"\"";
    else if (c == '\r' || c == '\n')
      out += ' ';
    else
      out += c;
  }
  return out;
}

void appendToLog(const std::string& line) {
  // A read-only program folder must not keep the program from ending.
  try {
    std::string path = paths::resolve(paths::appPath() + "\\" + kErrorLogName).string();
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
      std::fwrite(line.data(), 1, line.size(), f);
      std::fclose(f);
    }
  } catch (...) {
  }
}

}  // namespace

std::string errorMessageText(int32_t number, std::string_view location, std::string_view extraText) {
  std::string m = "An error has occurred in the application.";
  m += "\r\r";
  m += "Clicking on OK will shut down the application.";
  m += "\r\r";
  m += "If this problem persists, note the details below and contact ";
  m += kSupportContact;
  m += "\r\r";
  m += "Details:\t";
  m += location;
  m += "\t";
  m += std::to_string(number);
  m += "\r\n";
  m += extraText;
  return m;
}

std::string errorLogLine(int32_t number, std::string_view location, std::string_view description) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "#%04d-%02d-%02d#,#%02d:%02d:%02d#", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  line += ",\"" + logField(location) + "\",";
  line += std::to_string(number);
  line += ",\"" + logField(description) + "\"\r\n";
  return line;
}

void Bmm_ReportError(int32_t number, std::string_view location, std::string_view extraText) {
  MsgBox(errorMessageText(number, location, extraText), mb::OKOnly | mb::Critical, appTitle());
  appendToLog(errorLogLine(number, location, currentError().description));
  Bmm_EndProgram();
}

void installErrorReporter() {
  setReportHandler([](long number, std::string_view location, std::string_view extra) {
    Bmm_ReportError(int32_t(number), location, extra);
  });
}

}  // namespace pellary
