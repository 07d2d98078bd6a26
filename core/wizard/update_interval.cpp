#include "core/wizard/update_interval.h"

#include <cstdio>

#include "core/registry.h"
#include "platform/errors.h"
#include "platform/text/trim.h"

namespace pellary {

namespace {

constexpr const char* kSection = "AutoCUE";

// A whole number of decimal digits only (blanks around it allowed), below limit.
std::optional<int32_t> wholeNumber(const std::string& text, int32_t limit) {
  const std::string_view digits = platform::text::trimSpaces(text);
  if (digits.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return int32_t(value);
}

}  // namespace

void Bint_SaveUpdateFreq(std::string& code) {
  trapped("Bint_SaveUpdateFreq", [&] {
    std::optional<int32_t> value = wholeNumber(code, 99999);
    if (!value) raise(err::TypeMismatch);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05d", int(*value));
    code = digits;
    int32_t unit = *value / 1000;
    int32_t quantity = *value % 1000;
    Breg_WriteRegSettings(kSection, "TimerQuantity", std::to_string(quantity));
    Breg_WriteRegSettings(kSection, "TimerUnits", std::to_string(unit));
  });
}

std::optional<int32_t> Bint_StoredUpdateCode() {
  const std::string quantity = Breg_GetRegSetting(kSection, "TimerQuantity");
  const std::string units = Breg_GetRegSetting(kSection, "TimerUnits");
  auto zero = [](const std::string& v) {
    std::optional<int32_t> n = wholeNumber(v, 99999);
    return n && *n == 0;
  };
  if (quantity.empty() || units.empty() || zero(quantity) || zero(units)) {
    const std::string recommended = Breg_GetRegSetting(kSection, "Recommended");
    if (recommended.empty()) return std::nullopt;
    std::optional<int32_t> code = wholeNumber(recommended, 99999999);
    if (!code) raise(err::TypeMismatch);
    return code;
  }
  std::optional<int32_t> q = wholeNumber(quantity, 99999), u = wholeNumber(units, 99999);
  if (!q || !u) raise(err::TypeMismatch);
  // The digits of the unit (two at least) followed by those of the quantity
  // (three at least): a quantity of 1000 makes a code no item carries.
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d%03d", int(*u), int(*q));
  std::optional<int32_t> code = wholeNumber(digits, 999999999);
  if (!code) raise(err::Overflow);
  return code;
}

}  // namespace pellary
