// Lines of a text: CR LF, CR or LF end a line; the ends are dropped, and a
// last line without an end counts when it is not empty.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellary::platform::text {
std::vector<std::string> splitLines(const std::string& text);
// The text as one line: every control character (line breaks, tabs, NUL,
// DEL) becomes a space, so that a name cannot start a line of its own in a
// file of lines.
std::string oneLine(std::string_view text);
}  // namespace pellary::platform::text
