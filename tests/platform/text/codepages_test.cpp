#include "platform/text/codepages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace pellary::platform::text {
namespace {

std::string allBytes() {
  std::string s;
  for (int b = 0; b < 256; ++b) s += char(b);
  return s;
}

struct CodePage {
  const char* name;
  std::string (*toUtf8)(std::string_view);
  std::string (*fromUtf8)(std::string_view);
  char32_t (*charOf)(uint8_t);
};

class EveryCodePage : public ::testing::TestWithParam<CodePage> {};

TEST_P(EveryCodePage, EveryByteRoundTripsThroughUtf8AsADistinctCharacter) {
  const CodePage& cp = GetParam();
  std::string utf8 = cp.toUtf8(allBytes());
  EXPECT_TRUE(isValidUtf8(utf8));
  EXPECT_EQ(utf8Length(utf8), 256u);
  EXPECT_EQ(cp.fromUtf8(utf8), allBytes());
  std::set<char32_t> seen;
  for (int b = 0; b < 256; ++b) seen.insert(cp.charOf(uint8_t(b)));
  EXPECT_EQ(seen.size(), 256u);
  for (int b = 0; b < 128; ++b) EXPECT_EQ(cp.charOf(uint8_t(b)), char32_t(b)) << b;
}

TEST_P(EveryCodePage, CharactersTheCodePageLacksBecomeOneQuestionMarkEach) {
  // Greek small alpha, CJK, an emoji, a lone replacement character: in neither code page.
  const std::string text =
      "a\xCE\xB1"
      "b\xE4\xB8\xAD"
      "c\xF0\x9F\x98\x80"
      "d\xEF\xBF\xBD";
  EXPECT_EQ(GetParam().fromUtf8(text), "a?b?c?d?");
}

TEST_P(EveryCodePage, InvalidUtf8CountsOneQuestionMarkPerBadByte) {
  EXPECT_EQ(GetParam().fromUtf8("x\xC3"), "x?");     // cut short at the end
  EXPECT_EQ(GetParam().fromUtf8("\xC3(y"), "?(y");   // missing continuation
  EXPECT_EQ(GetParam().fromUtf8("\xC0\xAF"), "??");  // overlong
  EXPECT_EQ(GetParam().fromUtf8("\x80z"), "?z");     // stray continuation
}

INSTANTIATE_TEST_SUITE_P(CodePages, EveryCodePage,
                         ::testing::Values(CodePage{"Windows1252", cp1252ToUtf8, utf8ToCp1252, cp1252Char},
                                           CodePage{"Cp850", cp850ToUtf8, utf8ToCp850, cp850Char}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CodePages, KnownCharacters) {
  struct Case {
    uint8_t byte;
    char32_t cp1252, cp850;
  } cases[] = {
      {0x80, 0x20AC, 0x00C7},  // euro sign / C cedilla
      {0x81, 0x0081, 0x00FC},  // undefined in 1252: the C1 control, as Windows maps it
      {0x8D, 0x008D, 0x00EC}, {0x8F, 0x008F, 0x00C5}, {0x90, 0x0090, 0x00C9}, {0x9D, 0x009D, 0x00D8},
      {0x92, 0x2019, 0x00C6}, {0x9F, 0x0178, 0x0192}, {0xA0, 0x00A0, 0x00E1}, {0xB0, 0x00B0, 0x2591},
      {0xC4, 0x00C4, 0x2500}, {0xD5, 0x00D5, 0x0131}, {0xE9, 0x00E9, 0x00DA}, {0xF2, 0x00F2, 0x2017},
      {0xFE, 0x00FE, 0x25A0}, {0xFF, 0x00FF, 0x00A0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cp1252Char(c.byte), c.cp1252) << int(c.byte);
    EXPECT_EQ(cp850Char(c.byte), c.cp850) << int(c.byte);
    EXPECT_EQ(cp1252Byte(c.cp1252), c.byte);
    EXPECT_EQ(cp850Byte(c.cp850), c.byte);
  }
  EXPECT_EQ(cp1252ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(cp850ToUtf8("caf\x82"), "caf\xC3\xA9");
  EXPECT_EQ(utf8ToCp850("\xC3\xA9t\xC3\xA9"), "\x82t\x82");
}

TEST(CodePages, CharactersOfOnePageThatTheOtherLacks) {
  EXPECT_EQ(utf8ToCp850("\xE2\x82\xAC"), "?");   // euro sign
  EXPECT_EQ(utf8ToCp1252("\xE2\x94\x80"), "?");  // box drawing
  EXPECT_EQ(cp1252Byte(0x0080), -1);             // only the five undefined bytes map to C1 controls
  EXPECT_EQ(cp1252Byte(0x009F), -1);
}

TEST(Utf8, SanitizeReplacesEachMalformedByteAndKeepsValidText) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string in, out;
  } cases[] = {
      {"plain", "plain"},
      {"\xC3\xA9\xF0\x9F\x98\x80", "\xC3\xA9\xF0\x9F\x98\x80"},
      {"a\xFF"
       "b",
       "a" + fffd + "b"},
      {"\xE2\x82", fffd + fffd},
      {"\xED\xA0\x80", fffd + fffd + fffd},             // surrogate half
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
      {"\xE0\x80\xAF", fffd + fffd + fffd},             // overlong
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sanitizeUtf8(c.in), c.out);
    EXPECT_EQ(isValidUtf8(c.in), c.in == c.out);
    EXPECT_TRUE(isValidUtf8(sanitizeUtf8(c.in)));
  }
}

TEST(Utf8, AppendWritesReplacementForValuesThatAreNotCharacters) {
  std::string out;
  appendUtf8(out, 0xD800);
  appendUtf8(out, 0x110000);
  appendUtf8(out, 0x10FFFF);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD\xF4\x8F\xBF\xBF");
}

}  // namespace
}  // namespace pellary::platform::text
