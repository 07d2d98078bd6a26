#include "platform/variant.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

using pellary::testing::errorOf;

struct IntCase {
  Variant in;
  long expected;  // the value, or the error number when error is set
  bool error;
};

TEST(VariantTest, CIntRoundsHalfToEvenAndChecksRange) {
  const IntCase cases[] = {
      {Variant(2.5), 2, false},
      {Variant(3.5), 4, false},
      {Variant(-2.5), -2, false},
      {Variant(-3.5), -4, false},
      {Variant(0.5), 0, false},
      {Variant(1.5000001), 2, false},
      {Variant(2.4999), 2, false},
      {Variant("12.5"), 12, false},
      {Variant(" 7 "), 7, false},
      {Variant("-13.5"), -14, false},
      {Variant("&HFF"), 255, false},
      {Variant("1e3"), 1000, false},
      {Variant(true), -1, false},
      {Variant(false), 0, false},
      {Variant(), 0, false},
      {Variant(32767.4), 32767, false},
      {Variant(-32768.5), -32768, false},
      {Variant(32767.5), err::Overflow, true},
      {Variant(-32768.6), err::Overflow, true},
      {Variant(int32_t(40000)), err::Overflow, true},
      {Variant::date(45000), err::Overflow, true},
      {Variant::null(), err::InvalidUseOfNull, true},
      {Variant("abc"), err::TypeMismatch, true},
      {Variant(""), err::TypeMismatch, true},
      {Variant("12abc"), err::TypeMismatch, true},
      {Variant("1,5"), err::TypeMismatch, true},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    if (c.error) {
      EXPECT_EQ(errorOf([&] { (void)c.in.toInteger(); }), c.expected);
    } else {
      EXPECT_EQ(c.in.toInteger(), c.expected);
    }
  }
}

TEST(VariantTest, CLngHasTheLongRange) {
  EXPECT_EQ(Variant(2147483647.4).toLong(), 2147483647);
  EXPECT_EQ(Variant(-2147483648.5).toLong(), -2147483648LL);
  EXPECT_EQ(errorOf([] { (void)Variant(2147483647.5).toLong(); }), err::Overflow);
  EXPECT_EQ(Variant("40000").toLong(), 40000);
  EXPECT_EQ(Variant(4.5).toLong(), 4);
  EXPECT_EQ(errorOf([] { (void)Variant::null().toLong(); }), err::InvalidUseOfNull);
  EXPECT_EQ(errorOf([] { (void)Variant("x1").toLong(); }), err::TypeMismatch);
  // Integers wider than a Long become Doubles and convert back while they fit.
  EXPECT_EQ(Variant(int64_t(5)).type(), Variant::Type::Long);
  EXPECT_EQ(Variant(int64_t(1) << 40).type(), Variant::Type::Double);
}

TEST(VariantTest, CStrFormatsAsTheRuntimeDoes) {
  const struct {
    Variant in;
    const char* text;
  } cases[] = {
      {Variant(int16_t(-5)), "-5"},
      {Variant(int32_t(123456)), "123456"},
      {Variant(0.1), "0.1"},
      {Variant(2.5), "2.5"},
      {Variant(1e20), "1E+20"},
      {Variant(1.5e-7), "1.5E-07"},
      {Variant(0.0001), "0.0001"},
      {Variant(1.0 / 3.0), "0.333333333333333"},
      {Variant(0.1f), "0.1"},
      {Variant(-0.0), "0"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(), ""},
      {Variant("as is"), "as is"},
      {Variant::date(2020, 12, 25), "25/12/2020"},
      {Variant::date(2020, 12, 25, 10, 30, 15), "25/12/2020 10:30:15"},
      {Variant::date(0), "30/12/1899"},
      {Variant::date(-1.25), "29/12/1899 06:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.in.toString(), c.text);
  }
  EXPECT_EQ(errorOf([] { (void)Variant::null().toString(); }), err::InvalidUseOfNull);
}

TEST(VariantTest, CBoolAndCDbl) {
  EXPECT_TRUE(Variant("true").toBool());
  EXPECT_FALSE(Variant(" False ").toBool());
  EXPECT_FALSE(Variant("0").toBool());
  EXPECT_TRUE(Variant("-2.5").toBool());
  EXPECT_TRUE(Variant(int16_t(-1)).toBool());
  EXPECT_FALSE(Variant(0.0).toBool());
  EXPECT_EQ(errorOf([] { (void)Variant("yes please").toBool(); }), err::TypeMismatch);
  EXPECT_EQ(errorOf([] { (void)Variant::null().toBool(); }), err::InvalidUseOfNull);

  EXPECT_DOUBLE_EQ(Variant("  -1.25E2 ").toDouble(), -125.0);
  EXPECT_DOUBLE_EQ(Variant(true).toDouble(), -1.0);
  EXPECT_DOUBLE_EQ(Variant::date(44190.5).toDouble(), 44190.5);
  EXPECT_EQ(errorOf([] { (void)Variant("1.2.3").toDouble(); }), err::TypeMismatch);
  EXPECT_EQ(errorOf([] { (void)Variant("nan").toDouble(); }), err::TypeMismatch);
  EXPECT_TRUE(Variant("12").isNumeric());
  EXPECT_FALSE(Variant("12 apples").isNumeric());
  EXPECT_FALSE(Variant::null().isNumeric());
}

TEST(VariantTest, CDateReadsDayFirstAndIsoTexts) {
  EXPECT_DOUBLE_EQ(Variant("25/12/2020").toDate(), 44190.0);
  EXPECT_DOUBLE_EQ(Variant("2020-12-25 12:00").toDate(), 44190.5);
  EXPECT_DOUBLE_EQ(Variant("5/1/2021").toDate(), Variant::oleDate(2021, 1, 5));
  EXPECT_DOUBLE_EQ(Variant("12/25/2020").toDate(), 44190.0);  // no month 25: read month first
  EXPECT_DOUBLE_EQ(Variant("06:00 PM").toDate(), 0.75);
  EXPECT_DOUBLE_EQ(Variant(int32_t(5)).toDate(), 5.0);
  EXPECT_EQ(errorOf([] { (void)Variant("31/04/2020").toDate(); }), err::TypeMismatch);
  EXPECT_EQ(errorOf([] { (void)Variant("tomorrow").toDate(); }), err::TypeMismatch);
}

TEST(VariantTest, OleDayNumbers) {
  EXPECT_DOUBLE_EQ(Variant::oleDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(Variant::oleDate(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(Variant::oleDate(2020, 12, 25), 44190.0);
  // Before day 0 the fraction still counts forward from the start of the day.
  EXPECT_DOUBLE_EQ(Variant::oleDate(1899, 12, 29, 6, 0, 0), -1.25);
  // Out-of-range parts carry over as DateSerial does.
  EXPECT_DOUBLE_EQ(Variant::oleDate(2020, 13, 1), Variant::oleDate(2021, 1, 1));
  EXPECT_DOUBLE_EQ(Variant::oleDate(2021, 3, 0), Variant::oleDate(2021, 2, 28));

  const Variant::DateParts p = Variant::splitOleDate(44190.999999999);  // rounds into the next day
  EXPECT_EQ(p.year, 2020);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 26);
  EXPECT_EQ(p.hour, 0);
  const Variant::DateParts q = Variant::splitOleDate(-0.5);  // the same time of day 0
  EXPECT_EQ(q.day, 30);
  EXPECT_EQ(q.hour, 12);
}

TEST(VariantTest, EqualityKeepsTypesApart) {
  EXPECT_NE(Variant::null(), Variant());
  EXPECT_NE(Variant::null(), Variant(int32_t(0)));
  EXPECT_NE(Variant(int32_t(0)), Variant(false));
  EXPECT_NE(Variant(int16_t(5)), Variant(int32_t(5)));
  EXPECT_NE(Variant::date(0), Variant(0.0));
  EXPECT_EQ(Variant("abc"), Variant(std::string("abc")));
  EXPECT_NE(Variant("abc"), Variant("ABC"));
  EXPECT_EQ(Variant::null(), Variant::null());
  EXPECT_EQ(Variant(true).typeName(), "Boolean");
  EXPECT_EQ(Variant::date(1).typeName(), "Date");
  EXPECT_EQ(errorOf([] { (void)Variant(1.0).toObject(); }), err::TypeMismatch);
}

}  // namespace
}  // namespace pellary
