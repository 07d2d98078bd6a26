#include "core/scrambler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/errors.h"
#include "platform/text/codepages.h"

namespace pellary {
namespace {

namespace text = platform::text;

bool onlySymbols(const std::string& s) {
  for (char c : s) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\\' || c == '+' ||
              c == '-';
    if (!ok) return false;
  }
  return true;
}

// A 30-character chunk of filler with one code at one position.
std::string chunkWith(int code, size_t position, size_t length = 30) {
  std::string bytes(length, 'x');
  bytes[position] = char(code);
  return text::cp1252ToUtf8(bytes);
}

TEST(Scrambler, WorkedExample) {
  EXPECT_EQ(Bse_LongCodeUp("abc"), "Z5gIj1");
  EXPECT_EQ(Bse_LongCodeDown("Z5gIj1"), "abc");
  EXPECT_EQ(Bse_CodeUp("abc"), "Z5gIj1");
  EXPECT_EQ(Bse_CodeDown("Z5gIj1"), "abc");
}

TEST(Scrambler, EmptyStaysEmpty) {
  EXPECT_EQ(Bse_LongCodeUp(""), "");
  EXPECT_EQ(Bse_LongCodeDown(""), "");
  EXPECT_EQ(Bse_CodeUp(""), "");
  EXPECT_EQ(Bse_CodeDown(""), "");
}

TEST(Scrambler, ChunksOfThirtyCharactersAndSixtySymbols) {
  const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
  const std::string thirtyOne = thirty + "Z";
  std::string s30 = Bse_LongCodeUp(thirty);
  std::string s31 = Bse_LongCodeUp(thirtyOne);
  EXPECT_EQ(s30.size(), 60u);
  EXPECT_EQ(s31.size(), 62u);
  // The 31st character is the first of a chunk of its own.
  EXPECT_EQ(s31.substr(0, 60), s30);
  EXPECT_EQ(s31.substr(60), Bse_CodeUp("Z"));
  EXPECT_EQ(Bse_LongCodeDown(s31), thirtyOne);
  EXPECT_TRUE(onlySymbols(s31));
  std::string long95(95, 'q');
  EXPECT_EQ(Bse_LongCodeUp(long95).size(), 190u);
  EXPECT_EQ(Bse_LongCodeDown(Bse_LongCodeUp(long95)), long95);
}

TEST(Scrambler, OddLengthChunksPassThrough) {
  EXPECT_EQ(Bse_LongCodeDown("Z5gIj"), "Z5gIj");
  EXPECT_EQ(Bse_CodeDown("abc"), "abc");
  // In a longer string only the odd-length last chunk passes through.
  std::string s30 = Bse_LongCodeUp(std::string(30, 'k'));
  EXPECT_EQ(Bse_LongCodeDown(s30 + "Z5g"), std::string(30, 'k') + "Z5g");
}

TEST(Scrambler, EveryPrintableCharacterAtEveryPosition) {
  for (int code = 32; code <= 126; ++code) {
    for (size_t pos = 0; pos < 30; ++pos) {
      std::string chunk = chunkWith(code, pos);
      std::string up = Bse_CodeUp(chunk);
      ASSERT_EQ(up.size(), 60u);
      ASSERT_TRUE(onlySymbols(up));
      ASSERT_EQ(Bse_CodeDown(up), chunk) << code << " at " << pos;
    }
  }
}

// Codes from 132 up in the last positions of a chunk have an upper digit
// beyond 32; the encoder's output for them is unchanged, and it decodes.
TEST(Scrambler, EveryUpperHalfCodeAtEveryPositionRoundTrips) {
  for (int code = 128; code <= 255; ++code) {
    for (size_t pos = 0; pos < 30; ++pos) {
      std::string chunk = chunkWith(code, pos);
      std::string up = Bse_LongCodeUp(chunk);
      ASSERT_EQ(up.size(), 60u);
      ASSERT_EQ(Bse_LongCodeDown(up), chunk) << code << " at " << pos;
    }
  }
  // Also inside a text of several chunks, with every code at once.
  std::string bytes;
  for (int code = 1; code <= 255; ++code) bytes += char(code);
  std::string all = text::cp1252ToUtf8(bytes);
  EXPECT_EQ(Bse_LongCodeDown(Bse_LongCodeUp(all)), all);
}

TEST(Scrambler, StringsWrittenForUpperDigitsPast32AreAsBeforeAndDecode) {
  // Symbols worked out by hand from the algorithm: "x" x 29 + y diaeresis
  // (upper digit 7 + 29 = 36, written modulo 33), and e acute x 30.
  const std::string y29 = chunkWith(0xFF, 29);
  const std::string e30 = text::cp1252ToUtf8(std::string(30, '\xE9'));
  EXPECT_EQ(Bse_LongCodeUp(y29), "Vqqqqqqqqqqqqqqqqqqqqqqqqqqqqz565sfeUNVXfYONh10qjrt1ukjWJIf0");
  EXPECT_EQ(Bse_LongCodeUp(e30), "IQQQQQQQQQQQQQQQQQQQQQQQQQQQQQVeUNVXfYONh10qjrt1ukjWJIf5gBJj");
  EXPECT_EQ(Bse_LongCodeDown("Vqqqqqqqqqqqqqqqqqqqqqqqqqqqqz565sfeUNVXfYONh10qjrt1ukjWJIf0"), y29);
  EXPECT_EQ(Bse_LongCodeDown("IQQQQQQQQQQQQQQQQQQQQQQQQQQQQQVeUNVXfYONh10qjrt1ukjWJIf5gBJj"), e30);
}

TEST(Scrambler, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Bse_LongCodeDown(Bse_LongCodeUp("p\xCE\xB1ss")), "p?ss");
  EXPECT_EQ(Bse_LongCodeDown(Bse_LongCodeUp("\xE2\x82\xAC\xC3\xA9")), "\xE2\x82\xAC\xC3\xA9");
}

TEST(Scrambler, StepAndRemainder) {
  EXPECT_EQ(Bse_Step({25, 32, 0, 8, 27, 26}, true), (std::vector<int32_t>{25, 57, 32, 8, 35, 53}));
  EXPECT_EQ(Bse_Step({25, 57, 32, 8, 35, 53}, false), (std::vector<int32_t>{25, 32, 0, 8, 27, 26}));
  EXPECT_EQ(Bse_Step({}, true), std::vector<int32_t>{});
  EXPECT_EQ(Bse_Remainder(34359738368.0, 33), 32);  // 32^7
  EXPECT_EQ(Bse_Remainder(33.0, 33), 0);
  EXPECT_EQ(Bse_Remainder(1e30, 33), int16_t(std::fmod(1e30, 33.0)));
  EXPECT_EQ(Bse_Remainder(-5.0, 33), -5);
}

// Records what the reporter was given; the end of the program follows as usual.
class ReportRecorder {
 public:
  ReportRecorder() {
    setReportHandler([this](long n, std::string_view where, std::string_view) {
      number = n;
      location = std::string(where);
    });
  }
  ~ReportRecorder() { setReportHandler({}); }
  long number = 0;
  std::string location;
};

TEST(Scrambler, AStringNoEncoderWroteIsReportedNotCrashed) {
  // '~' reads as symbol value 55 and "zz" sums run past what the encoder writes.
  // "zA" repeated makes the step's values grow with the length, so their
  // seventh powers reach 1e22: the remainder must not count that down.
  std::string growing;
  for (int i = 0; i < 30; ++i) growing += "zA";
  const std::string damaged[] = {"~~~~~~~~", "zzzzzzzzzzzz", ":;<=>?@[]^_`", growing, "\xC3\xA9\xC3\xA9"};
  for (const std::string& s : damaged) {
    ReportRecorder rec;
    try {
      Bse_LongCodeDown(s);
    } catch (const ProgramEnded&) {
      EXPECT_EQ(rec.location, "Bse_CodeDown") << s;
      EXPECT_TRUE(rec.number == err::InvalidCall || rec.number == err::Overflow) << rec.number;
    }
  }
}

// What the pages read back from the settings: a value the scrambler wrote
// gives its password; anything else gives none, so the page asks again.
TEST(Scrambler, StoredPasswordsOnlyFromWhatTheScramblerWrote) {
  std::string growing;
  for (int i = 0; i < 30; ++i) growing += "zA";
  const std::string longPassword(45, 'k');
  const struct {
    std::string stored;
    std::string password;
  } cases[] = {
      {Bse_LongCodeUp("abc"), "abc"},
      {Bse_LongCodeUp("caf\xC3\xA9"), "caf\xC3\xA9"},
      {Bse_LongCodeUp(longPassword), longPassword},
      {Bse_LongCodeUp(std::string("b2") + '\0' + "db"), std::string("b2") + '\0' + "db"},
      {"", ""},
      {"Z5gIj", ""},  // odd length: cut short
      {"Z5gIj1x", ""},
      {"abc", ""},  // typed in by hand
      {"~~~~~~~~", ""},
      {"zzzzzzzzzzzz", ""},
      {growing, ""},
      {"Z5 gIj", ""},
      {"\xC3\xA9\xC3\xA9", ""},
  };
  for (const auto& c : cases) {
    ReportRecorder rec;
    EXPECT_EQ(Bse_StoredPassword(c.stored), c.password) << c.stored;
    EXPECT_TRUE(rec.location.empty()) << c.stored << " reported at " << rec.location;
  }
}

TEST(Scrambler, OnlyWindows1252TextCanBeScrambled) {
  EXPECT_TRUE(Bse_CanScramble("plain"));
  EXPECT_TRUE(
      Bse_CanScramble("\xE2\x82\xAC"
                      "uro caf\xC3\xA9"));                        // the euro sign has a code
  EXPECT_FALSE(Bse_CanScramble("\xC5\x81\xC3\xB3\x64\xC5\xBA"));  // Polish letters
  EXPECT_FALSE(Bse_CanScramble("\xE5\xAF\x86"));
}

}  // namespace
}  // namespace pellary
