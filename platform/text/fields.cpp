#include "platform/text/fields.h"

namespace pellary::platform::text {

void appendField(std::string& line, std::string_view value) {
  line += '\t';
  // Runs of plain characters go in whole.
  size_t from = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c != '\\' && c != '\t' && c != '\n' && c != '\r') continue;
    line.append(value.data() + from, i - from);
    line += '\\';
    line += c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
    from = i + 1;
  }
  line.append(value.data() + from, value.size() - from);
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
