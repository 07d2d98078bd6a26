// The line format of the stand-ins' state files: tab-separated fields whose
// escapes keep any text on one line.
#pragma once

#include <string>
#include <vector>

namespace pellary::platform::standins {

// Backslash, tab, CR and LF become \\, \t, \r and \n.
std::string escape(const std::string& s);
std::string unescape(const std::string& s);
// The fields of a line, as they stand (not unescaped); one field at least.
std::vector<std::string> split(const std::string& line);

}  // namespace pellary::platform::standins
