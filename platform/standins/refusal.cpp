#include "platform/standins/refusal.h"

#include "platform/errors.h"

namespace pellary::platform::standins {

namespace {
int gCountdown = 0;
}

void refuseEntry(int n) { gCountdown = n; }

void takeEntry() {
  if (gCountdown <= 0) return;
  if (--gCountdown == 0) raise(61, "Disk full");
}

}  // namespace pellary::platform::standins
