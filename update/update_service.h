// Entry of the Internet update service for silent runs.
#pragma once

#include <cstdint>

namespace pellary {
// True for a silent update run; set by the start before anything reads it.
bool& Bupd_UpdateRun();
// Runs a silent update run in the given run mode (0 timed, 2 on demand).
void Bupd_MainHandler(int16_t runMode);
}  // namespace pellary
