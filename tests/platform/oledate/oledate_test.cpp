#include "platform/oledate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary::platform {
namespace {

using pellary::testing::errorOf;

struct Known {
  CivilDateTime civil;
  double ole;
};

const Known kKnown[] = {
    {{1899, 12, 30, 0, 0, 0}, 0.0},       {{1899, 12, 31, 0, 0, 0}, 1.0},
    {{1900, 1, 1, 0, 0, 0}, 2.0},         {{1900, 2, 28, 0, 0, 0}, 60.0},
    {{1900, 3, 1, 0, 0, 0}, 61.0},  // 1900 was no leap year
    {{1899, 12, 30, 12, 0, 0}, 0.5},      {{1899, 12, 29, 0, 0, 0}, -1.0},
    {{1899, 12, 29, 6, 0, 0}, -1.25},  // the day counts back, the time forward
    {{1899, 12, 28, 18, 0, 0}, -2.75},    {{1970, 1, 1, 0, 0, 0}, 25569.0},
    {{2000, 1, 1, 0, 0, 0}, 36526.0},     {{2000, 2, 29, 18, 0, 0}, 36585.75},
    {{100, 1, 1, 0, 0, 0}, -657434.0},    {{100, 1, 1, 12, 0, 0}, -657434.5},
    {{9999, 12, 31, 0, 0, 0}, 2958465.0},
};

TEST(OleDate, KnownDatesBothWays) {
  for (const Known& k : kKnown) {
    EXPECT_DOUBLE_EQ(oleFromCivil(k.civil), k.ole) << k.ole;
    EXPECT_EQ(civilFromOle(k.ole), k.civil) << k.ole;
  }
}

TEST(OleDate, EveryDayOfTheRangeRoundTripsAndFollowsItsPredecessor) {
  double previous = 0;
  bool first = true;
  for (int year = kOleMinYear; year <= kOleMaxYear; year += 7) {
    for (int month = 1; month <= 12; ++month) {
      int days = int(oleFromCivil(year, month + 1, 1) - oleFromCivil(year, month, 1));
      ASSERT_GE(days, 28);
      ASSERT_LE(days, 31);
      for (int day = 1; day <= days; ++day) {
        double ole = oleFromCivil(year, month, day, 13, 14, 15);
        CivilDateTime back = civilFromOle(ole);
        ASSERT_EQ(back, (CivilDateTime{year, month, day, 13, 14, 15})) << ole;
        if (!first && day > 1) {
          ASSERT_DOUBLE_EQ(std::trunc(ole), std::trunc(previous) + 1);
        }
        previous = ole;
        first = false;
      }
    }
  }
}

TEST(OleDate, MinusHalfIsTheSameMomentAsHalf) {
  EXPECT_EQ(civilFromOle(-0.5), civilFromOle(0.5));
  EXPECT_DOUBLE_EQ(oleDatePart(-1.25), -1.0);
  EXPECT_DOUBLE_EQ(oleTimePart(-1.25), 0.25);
  EXPECT_FALSE(std::signbit(oleDatePart(-0.5)));
}

TEST(OleDate, OutOfRangeFieldsCarryAsDateSerialDoes) {
  EXPECT_DOUBLE_EQ(oleFromCivil(2000, 13, 1), oleFromCivil(2001, 1, 1));
  EXPECT_DOUBLE_EQ(oleFromCivil(2000, 0, 1), oleFromCivil(1999, 12, 1));
  EXPECT_DOUBLE_EQ(oleFromCivil(2000, 3, 0), oleFromCivil(2000, 2, 29));
  EXPECT_DOUBLE_EQ(oleFromCivil(2000, 1, 32), oleFromCivil(2000, 2, 1));
  EXPECT_DOUBLE_EQ(oleFromCivil(2000, 1, 1, 24, 0, 0), oleFromCivil(2000, 1, 2));
  EXPECT_DOUBLE_EQ(oleFromCivil(2000, 1, 1, 0, 0, -1), oleFromCivil(1999, 12, 31, 23, 59, 59));
  // Across day 0 the fraction changes its side.
  EXPECT_DOUBLE_EQ(oleFromCivil(1899, 12, 30, 0, 0, -64800), -1.25);
}

TEST(OleDate, RangeIsYears100To9999) {
  EXPECT_EQ(errorOf([] { oleFromCivil(99, 12, 31); }), err::InvalidCall);
  EXPECT_EQ(errorOf([] { oleFromCivil(10000, 1, 1); }), err::InvalidCall);
  EXPECT_EQ(errorOf([] { oleFromCivil(9999, 12, 31, 24, 0, 0); }), err::InvalidCall);
  EXPECT_EQ(errorOf([] { oleFromCivil(2000000000, 1, 1); }), err::InvalidCall);
  const double bad[] = {-657435.0,
                        2958466.0,
                        1e300,
                        -1e300,
                        std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()};
  for (double d : bad) {
    EXPECT_FALSE(isValidOleDate(d)) << d;
    EXPECT_EQ(errorOf([d] { civilFromOle(d); }), err::Overflow) << d;
    EXPECT_EQ(errorOf([d] { shortDate(d); }), err::Overflow) << d;
  }
  EXPECT_TRUE(isValidOleDate(-657434.99));
  EXPECT_TRUE(isValidOleDate(2958465.99));
}

TEST(OleDate, TimeRoundsToTheNearestSecondWithinTheRange) {
  EXPECT_EQ(civilFromOle(0.99999999), (CivilDateTime{1899, 12, 31, 0, 0, 0}));
  EXPECT_EQ(civilFromOle(-1.99999999), (CivilDateTime{1899, 12, 30, 0, 0, 0}));
  EXPECT_EQ(civilFromOle(1.0 / 86400 * 0.4), (CivilDateTime{1899, 12, 30, 0, 0, 0}));
  EXPECT_EQ(civilFromOle(2958465.9999999), (CivilDateTime{9999, 12, 31, 23, 59, 59}));
}

TEST(OleDate, ShortDateIsDayMonthYear) {
  EXPECT_EQ(shortDate(36526.75), "01/01/2000");
  EXPECT_EQ(shortDate(oleFromCivil(2023, 11, 7)), "07/11/2023");
  EXPECT_EQ(shortDate(-657434.0), "01/01/0100");
  EXPECT_EQ(shortDate(-1.25), "29/12/1899");
  EXPECT_EQ(shortTime(36526.75), "18:00:00");
  EXPECT_EQ(shortTime(oleFromCivil(2000, 1, 1, 7, 8, 9)), "07:08:09");
}

TEST(OleDate, WeekdayStartsOnSunday) {
  EXPECT_EQ(oleWeekday(0), 7);                          // Saturday 30 Dec 1899
  EXPECT_EQ(oleWeekday(1), 1);                          // Sunday
  EXPECT_EQ(oleWeekday(-1.25), 6);                      // Friday
  EXPECT_EQ(oleWeekday(oleFromCivil(2024, 2, 29)), 5);  // Thursday
}

TEST(OleDate, UnixSecondsWithoutTimeZone) {
  EXPECT_DOUBLE_EQ(oleFromUnixSeconds(0), kOleUnixEpoch);
  EXPECT_EQ(civilFromOle(oleFromUnixSeconds(951782400 + 3661)), (CivilDateTime{2000, 2, 29, 1, 1, 1}));
  EXPECT_EQ(civilFromOle(oleFromUnixSeconds(-1)), (CivilDateTime{1969, 12, 31, 23, 59, 59}));
  EXPECT_EQ(civilFromOle(oleFromUnixSeconds(-2209161600 - 3600)), (CivilDateTime{1899, 12, 29, 23, 0, 0}));
  for (int64_t s : {int64_t(0), int64_t(-1), int64_t(1700000000), int64_t(-2209161601), int64_t(253402300799)})
    EXPECT_EQ(unixSecondsFromOle(oleFromUnixSeconds(s)), s);
  EXPECT_EQ(errorOf([] { oleFromUnixSeconds(253402300800); }), err::Overflow);
}

TEST(OleDate, NowAndTodayReadTheLocalClock) {
  double n = now();
  double t = today();
  // A run across midnight reads the next day for today; allow for it.
  EXPECT_TRUE(t == std::trunc(n) || t == std::trunc(n) + 1) << n << " " << t;
  EXPECT_DOUBLE_EQ(oleTimePart(t), 0.0);
  std::time_t clock = std::time(nullptr);
  std::tm tm{};
  localtime_r(&clock, &tm);
  CivilDateTime c = civilFromOle(n);
  EXPECT_EQ(c.year, tm.tm_year + 1900);
  EXPECT_NEAR(
      std::fabs(oleFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec) - n) *
          86400,
      0, 2);
}

}  // namespace
}  // namespace pellary::platform
