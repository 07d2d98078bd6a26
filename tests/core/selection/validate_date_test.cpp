#include <gtest/gtest.h>

#include "../profile/profile_fixture.h"
#include "core/final_selection.h"

namespace pellary {
namespace {

class ValidateDate : public testing::ProfileDb {
 protected:
  void SetUp() override {
    ProfileDb::SetUp();
    ProductSetup& s = Bset();
    s.Bset_ProductStartDate[0] = day(2027, 3, 1);
    s.Bset_ProductStartDate[1] = day(2027, 4, 1);
    s.Bset_ProductStartDate[2] = day(2027, 6, 1);
    s.Bset_GenDatesEntry = 1;
    loadProfile();
    add(0x0801);                                               // 1: one week
    add(0x4000 | 0x0801, day(2027, 6, 10), day(2027, 6, 20));  // 2: own range
    add(0x0403);                                               // 3: three days
    add(0x1001);                                               // 4: one month
    add(0x0002);                                               // 5: no unit: days
    add(0x0801, 0, 0, 2);                                      // 6: the product at entry 2
    add(0x0A01);                                               // 7: one week with the "*" option
    add(0x4000 | 0x1001, day(2027, 1, 1), day(2027, 12, 31));  // 8: one month, own range over the year
  }
  void add(int16_t duration, double start = 0, double end = 0, int16_t productIndex = 0) {
    screenLink().currentProductTab = productIndex;
    Bsda_AddToProfileCatList(Bsda().Bsda_ProfileCatNext, 2, duration, start, end, 0);
  }
};

TEST_F(ValidateDate, Table) {
  struct Case {
    const char* name;
    int32_t position;
    double s, e;
    int16_t expected;
  } cases[] = {
      {"one day on the window's first day", 1, day(2027, 3, 1), day(2027, 3, 1), 1},
      {"one day before it", 1, day(2027, 2, 28), day(2027, 2, 28), 0},
      {"exactly a week", 1, day(2027, 3, 1), day(2027, 3, 8), 3},
      {"a day past the week", 1, day(2027, 3, 1), day(2027, 3, 9), 2},
      {"the option bits do not change the rule", 7, day(2027, 3, 1), day(2027, 3, 9), 2},
      {"wholly before the window", 1, day(2027, 2, 1), day(2027, 2, 10), 0},
      {"ending inside the window", 1, day(2027, 2, 20), day(2027, 3, 5), 2},
      {"no end: far in the future", 1, day(2099, 1, 1), day(2099, 1, 3), 3},
      {"own range: overlapping its start", 2, day(2027, 6, 5), day(2027, 6, 12), 3},
      {"own range: spanning it", 2, day(2027, 6, 1), day(2027, 6, 30), 2},
      {"own range: after it", 2, day(2027, 6, 21), day(2027, 6, 25), 0},
      {"own range: one day on its last day", 2, day(2027, 6, 20), day(2027, 6, 20), 1},
      {"own range: one day after it", 2, day(2027, 6, 21), day(2027, 6, 21), 0},
      {"own range: one day before it", 2, day(2027, 6, 9), day(2027, 6, 9), 0},
      {"three days", 3, day(2027, 3, 1), day(2027, 3, 4), 3},
      {"past three days", 3, day(2027, 3, 1), day(2027, 3, 5), 2},
      {"a month from a month's last day ends on the next month's last", 4, day(2027, 3, 31), day(2027, 4, 30), 3},
      {"a day past that month", 4, day(2027, 3, 31), day(2027, 5, 1), 2},
      {"a month from 31 January ends 28 February", 8, day(2027, 1, 31), day(2027, 2, 28), 3},
      {"a month from 31 January: 1 March is past it", 8, day(2027, 1, 31), day(2027, 3, 1), 2},
      {"no unit counts days", 5, day(2027, 3, 1), day(2027, 3, 3), 3},
      {"no unit, past the days", 5, day(2027, 3, 1), day(2027, 3, 4), 2},
      {"the record's product opens its window", 6, day(2027, 5, 15), day(2027, 5, 15), 0},
      {"on that product's start", 6, day(2027, 6, 1), day(2027, 6, 1), 1},
      {"no category: the combined entry's window", 0, day(2027, 3, 31), day(2027, 3, 31), 0},
      {"no category: on its start", 0, day(2027, 4, 1), day(2027, 4, 1), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(Bsql_ValidateDate(c.s, c.e, c.position), c.expected) << c.name;
}

TEST_F(ValidateDate, APositionBeyondTheListIsReported) {
  EXPECT_EQ(endsWith([] { Bsql_ValidateDate(1, 1, 99); }), "Bsql_ValidateDate");
}

}  // namespace
}  // namespace pellary
