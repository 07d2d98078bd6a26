#include <gtest/gtest.h>

#include "core/products.h"
#include "writers/processor/central_writer.h"
#include "writers/processor/relay.h"

namespace pellary {
namespace {

TEST(RelayTable, EachCalendarCodeHasItsWriter) {
  struct Case {
    int16_t code;
    const char* writer;  // nullptr: no writer
  } cases[] = {{0, nullptr},
               {1, "Bps3_AddEvent"},
               {2, nullptr},
               {3, "Bout_WriteToOutlook"},
               {4, "Bdt_WriteToDayTimer"},
               {6, "Borg_WriteToOrg"},
               {9, "BLot_WriteToLotus"},
               {12, "Bpm_WritePalmRecord"},
               {13, nullptr},
               {15, "Bpsi_AddEvent"},
               {16, "Bpsi_AddEvent"},
               {17, nullptr},
               {-1, nullptr}};
  for (const Case& c : cases) {
    const RelayTarget* t = relayTargetOf(c.code);
    if (!c.writer) {
      EXPECT_EQ(t, nullptr) << c.code;
      continue;
    }
    ASSERT_NE(t, nullptr) << c.code;
    EXPECT_STREQ(t->name, c.writer);
    EXPECT_NE(t->add, nullptr);
    EXPECT_NE(t->remove, nullptr);
  }
  // The two Series 5 codes share one writer.
  EXPECT_EQ(relayTargetOf(15), relayTargetOf(16));
}

TEST(RelayTable, CodesWithoutAWriterDoNothing) {
  resetProcessorState();
  resetProductSetup();
  for (int16_t code : {0, 2, 13}) {
    Bset().Bset_DatesPlat = code;
    RelayEventRecord r;
    r.Title = "T";
    r.StartDate = 47000;
    int16_t percent = 10;
    EXPECT_EQ(Bplp_WriteRelay(r, percent), "");
    Bplp_DeleteRelay(r, percent);
    EXPECT_EQ(r.Title, "T");
    EXPECT_EQ(r.EndDate, 0);
  }
  resetProductSetup();
}

}  // namespace
}  // namespace pellary
