#include "platform/standins/state_file.h"

namespace pellary::platform::standins {

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> parts(1);
  for (char c : line) {
    if (c == '\t')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

}  // namespace pellary::platform::standins
