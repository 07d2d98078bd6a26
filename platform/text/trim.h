// A text without what pads it at either end. The views point into the text
// given, so they live as long as it does; an empty one too (it is never a
// null view, which a databank binding would store as Null).
#pragma once

#include <string_view>

namespace pellary::platform::text {
// Without spaces, tabs, CRs and LFs.
std::string_view trimWhitespace(std::string_view text);
// Without spaces (a tab or a line end stays).
std::string_view trimSpaces(std::string_view text);
}  // namespace pellary::platform::text
