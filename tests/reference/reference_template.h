// The page template of the reference tests and benchmark: a title, a link to
// the parent and one list line per child.
#pragma once

namespace pellary::testing {

inline constexpr const char* kTemplate =
    "<html><head><title><!TITLE!></title></head><body>\r\n"
    "<h1><!TITLE!></h1><a href=<!PARENT_ID!>><!PARENT_TITLE!></a>\r\n"
    "<ul>\r\n"
    "<!CHILD>\r\n"
    "<li><a href=<!CHILD_ID!>><!CHILD_NAME!></a></li>\r\n"
    "<CHILD!>\r\n"
    "</ul></body></html>\r\n";

}  // namespace pellary::testing
