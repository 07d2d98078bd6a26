// The update pass's decision for one event of a changed category, reached
// without a databank: the profile Status and the row's facts in, the action out.
#include <gtest/gtest.h>

#include "core/profile_lists.h"
#include "writers/processor/central_writer.h"

namespace pellary {
namespace {

using namespace evstate;
using A = UpdateAction;

struct Case {
  const char* what;
  int status;
  int16_t written, row;
  bool aboveLevel, outsideWindow, categoryStars;
  A action;
  bool leftOut;
  bool windowAsked;
};

// What the pass has always done with each kind of record.
const Case kCases[] = {
    {"never chosen", 0, 0, 1, false, false, false, A::Add, false, false},
    {"to be added", Added, 0, 1, true, true, false, A::Add, false, false},
    {"added by hand", Added | ChosenByHand, 0, 1, false, false, false, A::Add, false, false},
    {"left out, never written", LeftOut, 0, 1, false, false, false, A::Keep, false, false},
    {"unticked after it was written", LeftOut | Removed, 3, 3, false, false, false, A::Remove, true, false},
    {"to be removed", Removed, 3, 3, false, false, false, A::Remove, false, false},
    {"removal taken back by hand", LeftOut | Removed | ChosenByHand, 3, 3, false, false, false, A::Keep, false, false},
    {"standing, unchanged", InProfile, 3, 3, false, false, false, A::Keep, false, true},
    {"standing, above the level", InProfile, 3, 3, true, false, false, A::Remove, false, false},
    {"standing, left the window", InProfile, 3, 3, false, true, false, A::Remove, false, true},
    {"removal wins over a newer row", InProfile, 3, 5, true, false, false, A::Remove, false, false},
    {"by hand holds above the level and outside", InProfile | ChosenByHand, 3, 3, true, true, false, A::Keep, false,
     false},
    {"newer row", InProfile, 3, 4, false, false, false, A::Rewrite, false, true},
    {"newer row of one chosen by hand", InProfile | ChosenByHand, 3, 4, true, true, false, A::Rewrite, false, false},
    {"older row", InProfile, 4, 3, false, false, false, A::Keep, false, true},
    {"written with * the category dropped", InProfile | Star, 3, 3, false, false, false, A::Rewrite, false, true},
    {"written with * the category keeps", InProfile | Star, 3, 3, false, false, true, A::Keep, false, true},
    {"standing and to be removed", InProfile | Removed, 3, 3, false, false, false, A::Keep, false, true},
    {"written with prefix and tickets", InProfile | Tickets | Cancelled, 3, 3, false, false, false, A::Keep, false,
     true},
};

TEST(UpdateDecision, FollowsTheRecordAndTheRow) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    UpdateFacts facts;
    facts.status = static_cast<int16_t>(c.status);
    facts.writtenVersion = c.written;
    facts.rowVersion = c.row;
    facts.aboveLevel = c.aboveLevel;
    facts.categoryStars = c.categoryStars;
    bool asked = false;
    const UpdateDecision d = decideUpdate(facts, [&] {
      asked = true;
      return c.outsideWindow;
    });
    EXPECT_EQ(static_cast<int>(d.action), static_cast<int>(c.action));
    EXPECT_EQ(d.leftOut, c.leftOut);
    // The window check reads the profile and may report an error: asked only when it decides.
    EXPECT_EQ(asked, c.windowAsked);
  }
}

}  // namespace
}  // namespace pellary
