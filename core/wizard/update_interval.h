// The update interval as the settings keep it: a code UUQQQ (unit as two
// digits, quantity as three) stored as TimerUnits and TimerQuantity of
// section AutoCUE, written without leading zeros.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pellary {

struct UpdateInterval {
  const char* text;
  int32_t code;
};

// The choices of the update-settings page, in their order.
inline constexpr UpdateInterval kUpdateIntervals[] = {
    {"Every hour", 2001},   {"Every 2 hours", 2002}, {"Every 4 hours", 2004}, {"Every day", 3001},
    {"Every 2 days", 3002}, {"Every 4 days", 3004},  {"Every week", 4001},    {"Every month", 4004},
};

// The code the manual choice stores.
inline constexpr const char* kManualUpdateCode = "00000";

// Stores code (decimal text, at most five digits): TimerQuantity and TimerUnits
// as decimal text without leading zeros. code is rewritten as five digits.
// Text that is not a whole number from 0 to 99999 is reported under
// "Bint_SaveUpdateFreq" and nothing is stored.
void Bint_SaveUpdateFreq(std::string& code);

// The code the update-settings page selects: the stored unit's digits then the
// quantity's, or Recommended when either is missing or zero. Values with
// leading zeros read as their numbers. Nothing when Recommended is empty too;
// a value that is not a whole number raises a type-mismatch error.
std::optional<int32_t> Bint_StoredUpdateCode();

}  // namespace pellary
