#include "platform/text/trim.h"

namespace pellary::platform::text {

namespace {
std::string_view trimmed(std::string_view text, std::string_view pad) {
  const size_t first = text.find_first_not_of(pad);
  // Empty, yet pointing into the text: bound to a statement it is '', not Null.
  if (first == std::string_view::npos) return text.substr(text.size());
  return text.substr(first, text.find_last_not_of(pad) - first + 1);
}
}  // namespace

std::string_view trimWhitespace(std::string_view text) { return trimmed(text, " \t\r\n"); }
std::string_view trimSpaces(std::string_view text) { return trimmed(text, " "); }

}  // namespace pellary::platform::text
