#include "core/wizard/update_interval.h"

#include <cstdio>

#include "core/registry.h"
#include "platform/errors.h"

namespace pellary {

namespace {

constexpr const char* kSection = "AutoCUE";

// A whole number of decimal digits only (blanks around it allowed), below limit.
std::optional<int32_t> wholeNumber(const std::string& text, int32_t limit) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  size_t e = text.find_last_not_of(' ');
  int64_t value = 0;
  for (size_t i = b; i <= e; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return int32_t(value);
}

}  // namespace

void Bint_SaveUpdateFreq(std::string& code) {
  std::optional<int32_t> value = wholeNumber(code, 99999);
  if (!value) raise(err::TypeMismatch);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05d", int(*value));
  code = digits;
  int32_t unit = *value / 1000;
  int32_t quantity = *value % 1000;
  Breg_WriteRegSettings(kSection, "TimerQuantity", std::to_string(quantity));
  Breg_WriteRegSettings(kSection, "TimerUnits", std::to_string(unit));
}

std::optional<int32_t> Bint_StoredUpdateCode() {
  std::optional<int32_t> quantity = wholeNumber(Breg_GetRegSetting(kSection, "TimerQuantity"), 999);
  std::optional<int32_t> units = wholeNumber(Breg_GetRegSetting(kSection, "TimerUnits"), 99);
  if (quantity && units && *quantity != 0 && *units != 0) return *units * 1000 + *quantity;
  return wholeNumber(Breg_GetRegSetting(kSection, "Recommended"), 99999);
}

}  // namespace pellary
