// A test hook, off by default: the calendar stand-ins refuse one entry, as a
// full disk or a locked store would, so that tests can see what a run that
// fails part way leaves behind.
#pragma once

namespace pellary::platform::standins {

// From now on, the n-th entry that any calendar stand-in is asked to add is
// refused (counting from 1); 0 switches the hook off.
void refuseEntry(int n);
// Called by each stand-in before it takes an entry: raises 61 ("Disk full")
// on the refused one.
void takeEntry();

}  // namespace pellary::platform::standins
