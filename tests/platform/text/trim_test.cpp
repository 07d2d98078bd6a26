#include "platform/text/trim.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(Trim, NothingLeftStillPointsIntoTheText) {
  // A null view bound to a statement stores Null where the text was blank.
  const std::string blank = "   ";
  EXPECT_NE(trimSpaces(blank).data(), nullptr);
  EXPECT_NE(trimWhitespace(blank).data(), nullptr);
  EXPECT_NE(trimSpaces(std::string()).data(), nullptr);
}

}  // namespace
}  // namespace pellary::platform::text
