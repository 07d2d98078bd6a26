// Pelmon's entry and the one guard between Qt and every slot.
#pragma once

#include <functional>

namespace pellary {
// Pelmon's entry: builds the application object and runs Main.
int runPelmon(int argc, char** argv);

// Delivers one Qt event (and with it every slot it reaches): an error that
// leaves the slot takes the error road (message, log line, exit 1) instead
// of ending the process past the reporter.
bool deliverGuarded(const std::function<bool()>& deliver);
}  // namespace pellary
