#include "platform/text/trim.h"

#include <gtest/gtest.h>

namespace pellary::platform::text {
namespace {

TEST(Trim, WhitespaceGoesAtBothEndsSpacesAloneFromTheBlankTrim) {
  struct Case {
    std::string_view in, whitespace, spaces;
  } cases[] = {
      {"", "", ""},
      {"   ", "", ""},
      {" \t\r\n", "", "\t\r\n"},
      {"  a b  ", "a b", "a b"},
      {"\tkey = value\r", "key = value", "\tkey = value\r"},
      {"\r\n x\t", "x", "\r\n x\t"},
      {"x", "x", "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trimWhitespace(c.in), c.whitespace) << '"' << c.in << '"';
    EXPECT_EQ(trimSpaces(c.in), c.spaces) << '"' << c.in << '"';
  }
}

}  // namespace
}  // namespace pellary::platform::text
