#include "platform/text/collation.h"

#include <gtest/gtest.h>

#include <string>

namespace pellary::platform::text {
namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(NameCollation, AccentsBesideTheirLettersCaseIgnored) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"Oman", "\xc3\x96sterreich", -1},  // Ö with O, not after Z
      {"\xc3\x96sterreich", "Zypern", -1},
      {"\xc3\xa9t\xc3\xa9", "Etage", 1},       // été after Etage: t > t, e > a
      {"Ecuador", "\xc3\x89gypte", -1},        // É with E
      {"spain", "Spain", 0},                   // case never counts
      {"\xc3\xa4pfel", "\xc3\x84PFEL", 0},     // nor for accented letters
      {"Resume", "R\xc3\xa9sum\xc3\xa9", -1},  // only accents differ: plain first
      {"", "a", -1},
      {"abc", "abcd", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sign(compareNames(c.a, c.b)), c.order) << c.a << " / " << c.b;
    EXPECT_EQ(sign(compareNames(c.b, c.a)), -c.order) << c.b << " / " << c.a;
  }
}

TEST(NameCollation, MalformedTextOrdersAfterValidText) {
  const std::string bad = "\xff\xfe";
  EXPECT_GT(compareNames(bad, "Zypern"), 0);
  EXPECT_LT(compareNames("Zypern", bad), 0);
  EXPECT_EQ(compareNames(bad, bad), 0);
}

// Sort keys order every pair as compareNames does, ties included.
TEST(NameCollation, SortKeysOrderAsTheComparison) {
  const std::string names[] = {"Oman",
                               "\xc3\x96sterreich",
                               "Zypern",
                               "\xc3\xa9t\xc3\xa9",
                               "Etage",
                               "spain",
                               "Spain",
                               "\xc3\xa4pfel",
                               "\xc3\x84PFEL",
                               "Resume",
                               "R\xc3\xa9sum\xc3\xa9",
                               "",
                               "a",
                               "abc",
                               "abcd",
                               "12/05/2027",
                               "2",
                               "10",
                               "\xff\xfe",
                               "\xff",
                               "a\xff",
                               std::string(300, 'x'),
                               std::string(300, 'x') + "\xc3\xa9",
                               "\xe6\x97\xa5\xe6\x9c\xac"};
  for (const std::string& a : names)
    for (const std::string& b : names)
      EXPECT_EQ(sign(nameSortKey(a).compare(nameSortKey(b))), sign(compareNames(a, b))) << a << " / " << b;
}

}  // namespace
}  // namespace pellary::platform::text
