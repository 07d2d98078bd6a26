#include <gtest/gtest.h>

#include "processor_fixture.h"

namespace pellary {
namespace {

using Strings = std::vector<std::string>;

class PubHolWriter : public testing::ProcessorTest {
 protected:
  void SetUp() override {
    ProcessorTest::SetUp();
    addTertiary(3, 1, 1, 1, 40, "Spain", 1);
    cat(40, 4, 0x0A01, 1);
  }
};

TEST_F(PubHolWriter, WhatAStandingHolidayBecomes) {
  struct Case {
    const char* name;
    int16_t status, storedVersion, rowVersion;
    double start;
    const char* storedList;
    Strings preview, deletes, adds;
    int16_t statusAfter;
  } cases[] = {
      {"unchanged", 4, 1, 1, 0, "40", {}, {}, {}, 4},
      {"new version", 4, 1, 2, 0, "40", {"P0000050 Change Holiday"}, {"Holiday"}, {"Holiday"}, 4},
      {"stored version 0 is not re-written", 4, 0, 2, 0, "40", {}, {}, {}, 4},
      {"taken out by the user", 0x0009, 1, 2, 0, "40", {}, {}, {}, 0x0009},
      {"chosen by the user wins", 0x4004, 1, 2, 0, "40", {"P0000050 Change Holiday"}, {"Holiday"}, {"Holiday"}, 4},
      {"outside the window", 4, 1, 2, -1, "40", {}, {}, {}, 4},
      {"lists differing in case only", 4, 1, 1, 0, "40", {}, {}, {}, 4},
      {"never written", 2, 0, 1, 0, "", {"P0000050 Add Holiday"}, {}, {"Holiday"}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    exec("DELETE FROM Event");
    exec("DELETE FROM EventCat");
    resetProfileLists();
    cat(40, 4, 0x0A01, 1);
    double start = c.start < 0 ? day(2026, 5, 1) : day(2027, 5, 1);
    event(50, "Holiday", start, start, c.rowVersion);
    link(50, 40);
    ProfileEventRecord& p = written(50, 0, c.status, c.storedVersion, start);
    p.PubHol = Bsda_AddHolidayList(c.storedList);
    previewAndWrite();
    EXPECT_EQ(previewTexts(), c.preview);
    EXPECT_EQ(titles(false), c.deletes);
    EXPECT_EQ(titles(true), c.adds);
    EXPECT_EQ(profileOf(50).Status, c.statusAfter);
  }
}

TEST_F(PubHolWriter, ActionPrefixesAreWrittenAndRemovedAgain) {
  event(50, "Holiday", day(2027, 5, 1), day(2027, 5, 1), 1, 1, "Action = 2");
  link(50, 40);
  previewAndWrite();
  EXPECT_EQ(titles(true), (Strings{"Postponed: Holiday"}));
  EXPECT_EQ(profileOf(50).Status, 0x1004);
  event(50, "Holiday", day(2027, 5, 2), day(2027, 5, 2), 2, 1, "Action = 3");
  exec("UPDATE Event SET Status = 0 WHERE Version = 1");
  previewAndWrite();
  EXPECT_EQ(titles(false), (Strings{"Postponed: Holiday"}));
  EXPECT_EQ(titles(true), (Strings{"Updated: Holiday"}));
  EXPECT_EQ(profileOf(50).Status, 0x2004);
  Bsda().cat(catPosition(40)).Status = 8;
  previewAndWrite();
  EXPECT_EQ(titles(false), (Strings{"Updated: Holiday"}));
  EXPECT_EQ(calls[0].record.StartDate, day(2027, 5, 2));
}

}  // namespace
}  // namespace pellary
