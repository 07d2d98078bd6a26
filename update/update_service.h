// Entry of the Internet update service for silent runs.
#pragma once

#include <cstdint>

#include "core/update_run.h"

namespace pellary {
// Runs a silent update run in the given run mode (0 timed, 2 on demand).
void Bupd_MainHandler(int16_t runMode);
}  // namespace pellary
