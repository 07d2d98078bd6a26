// Records of tab-separated fields, one per line, for this program's own
// small files: a record starts with a tag word, and a field's backslash, tab,
// CR and LF are written \\, \t, \r, \n.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellary::platform::text {

// Appends value, with the tab before it, to the record being built at the end of line.
void appendField(std::string& line, std::string_view value);
// The tag and the fields of one line without its end; false when an escape is malformed.
bool splitFields(std::string_view line, std::vector<std::string>& fields);

}  // namespace pellary::platform::text
