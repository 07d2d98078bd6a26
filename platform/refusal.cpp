#include "platform/refusal.h"

#include <cstdlib>
#include <string>

#include "platform/errors.h"

namespace pellary::platform::standins {

namespace {
constexpr const char* kVariable = "PELLARY_REFUSE_ENTRY";
std::string gSeen;  // the setting the countdown was started from
int gCountdown = 0;
int gSetting = 0;  // makes every setting a new text, even for the same count
}  // namespace

void refuseEntry(int n) {
  if (n > 0)
    ::setenv(kVariable, (std::to_string(n) + ":" + std::to_string(++gSetting)).c_str(), 1);
  else
    ::unsetenv(kVariable);
}

namespace {
Hook<void()>& seenHook() {
  static Hook<void()> f;
  return f;
}
}  // namespace

void onEntryTaken(Hook<void()> seen) { seenHook() = std::move(seen); }

void takeEntry() {
  seenHook()();
  const char* value = std::getenv(kVariable);
  const std::string now = value ? value : "";
  if (now != gSeen) {
    gSeen = now;
    gCountdown = std::atoi(now.c_str());
  }
  if (gCountdown <= 0) return;
  if (--gCountdown == 0) raise(61, "Disk full");
}

}  // namespace pellary::platform::standins
