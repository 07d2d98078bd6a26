// A test hook, off by default: the calendar stand-ins refuse one entry, as a
// full disk or a locked store would, so that tests can see what a run that
// fails part way leaves behind. The count is set through the environment
// variable PELLARY_REFUSE_ENTRY, so that a component module loaded with its
// own copy of this code (the Series 3 agenda writer) sees it too. It sits
// below the stand-ins because that module links platform alone.
#pragma once

#include "platform/hook.h"

namespace pellary::platform::standins {

// From now on, the n-th entry that the calendar stand-ins are asked to add is
// refused (counting from 1); 0 switches the hook off.
void refuseEntry(int n);
// Called by each stand-in before it takes an entry: raises 61 ("Disk full")
// on the refused one.
void takeEntry();
// Runs seen each time a stand-in of this process takes an entry (tests); nullptr ends it.
void onEntryTaken(Hook<void()> seen);

}  // namespace pellary::platform::standins
