// Text put into HTML or XML: the characters that markup reads are written as
// their entities, everything else is kept as it is (UTF-8 stays UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace pellary::platform::text {
std::string markupEscaped(std::string_view text);
}  // namespace pellary::platform::text
