// Lines of a text: CR LF, CR or LF end a line; the ends are dropped, and a
// last line without an end counts when it is not empty.
#pragma once

#include <string>
#include <vector>

namespace pellary::platform::text {
std::vector<std::string> splitLines(const std::string& text);
}  // namespace pellary::platform::text
