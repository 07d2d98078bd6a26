#include "core/error_log.h"

#include <cstdio>
#include <ctime>

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary {

namespace {
// One quoted field of at most `most` bytes of text: a line never grows with
// what a server or a file put into an error.
std::string logField(std::string_view text, size_t most) {
  std::string out;
  for (char c : clipped(text, most)) {
    if (c == '"')
      out += "\"\"";
    else
      out += c;
  }
  return out;
}
}  // namespace

std::string errorLogLine(int32_t number, std::string_view location, std::string_view description) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "#%04d-%02d-%02d#,#%02d:%02d:%02d#", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  line += ",\"" + logField(location, kMostLocation) + "\",";
  line += std::to_string(number);
  line += ",\"" + logField(description, kMostDescription) + "\"\r\n";
  return line;
}

void appendErrorLog(const std::string& line) {
  try {
    std::string path = paths::resolve(paths::appPath() + "\\" + kErrorLogName).string();
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
      std::fwrite(line.data(), 1, line.size(), f);
      std::fclose(f);
    }
  } catch (...) {
  }
}

std::string errorReportText(std::string_view advice, std::string_view contact, int32_t number,
                            std::string_view location, std::string_view extra) {
  std::string m = "An error has occurred in the application.";
  m += "\r\r";
  m += advice;
  m += "\r\r";
  m += "If this problem persists, note the details below and contact ";
  m += contact;
  m += "\r\r";
  m += "Details:\t";
  m += location;
  m += "\t";
  m += std::to_string(number);
  m += "\r\n";
  // The extra text is the program's own, but may carry a value from outside.
  m += extra.size() > kMostExtra ? clipped(extra, kMostExtra) : std::string(extra);
  return m;
}

}  // namespace pellary
