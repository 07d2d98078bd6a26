#include "platform/text/fields.h"

namespace pellary::platform::text {

void appendField(std::string& line, std::string_view value) {
  line += '\t';
  for (char c : value) {
    switch (c) {
      case '\\': line += "\\\\"; break;
      case '\t': line += "\\t"; break;
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      default: line += c;
    }
  }
}

bool splitFields(std::string_view line, std::vector<std::string>& fields) {
  fields.assign(1, std::string());
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
      continue;
    }
    if (c != '\\') {
      fields.back() += c;
      continue;
    }
    if (++i == line.size()) return false;
    switch (line[i]) {
      case '\\': fields.back() += '\\'; break;
      case 't': fields.back() += '\t'; break;
      case 'n': fields.back() += '\n'; break;
      case 'r': fields.back() += '\r'; break;
      default: return false;
    }
  }
  return true;
}

}  // namespace pellary::platform::text
