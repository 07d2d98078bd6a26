#include "platform/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>

#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/text/trim.h"

namespace pellary {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

using platform::civilFromDays;
using platform::daysFromCivil;

const int64_t kOleEpoch = daysFromCivil(1899, 12, 30);

using platform::text::trimWhitespace;
using paths::equalsIgnoreCase;

// A number as the runtime reads it from text: optional sign, digits with an
// optional point and exponent, or &H / &O literals. Locale-free.
std::optional<double> parseNumber(std::string_view text) {
  std::string_view s = trimWhitespace(text);
  if (s.empty()) return std::nullopt;
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size() || v > 0xFFFFFFFFull) return std::nullopt;
    // Short literals are Integers, longer ones Longs, both two's complement.
    if (v <= 0xFFFF && s.size() - 2 <= (base == 16 ? 4u : 6u)) return double(int16_t(uint16_t(v)));
    return double(int32_t(uint32_t(v)));
  }
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    s.remove_prefix(1);
    s = trimWhitespace(s);
  }
  // from_chars accepts no sign, "inf" or "nan"; make sure only digits, point and exponent remain.
  bool digits = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' || ((c == 'e' || c == 'E') && digits) ||
               ((c == '+' || c == '-') && i > 0 && (s[i - 1] == 'e' || s[i - 1] == 'E'))) {
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  double v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) raise(err::Overflow);
  if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
  return negative ? -v : v;
}

// Reads "h:mm[:ss] [AM|PM]" into seconds of the day.
std::optional<int> parseTime(std::string_view s) {
  s = trimWhitespace(s);
  int pm = -1;
  if (s.size() > 2) {
    std::string_view tail = s.substr(s.size() - 2);
    if (equalsIgnoreCase(tail, "AM") || equalsIgnoreCase(tail, "PM")) {
      pm = equalsIgnoreCase(tail, "PM") ? 1 : 0;
      s = trimWhitespace(s.substr(0, s.size() - 2));
    }
  }
  int parts[3] = {0, 0, 0};
  int n = 0;
  while (true) {
    const size_t j = s.find(':');
    std::string_view piece = s.substr(0, j);
    if (n == 3 || piece.empty() || piece.size() > 2) return std::nullopt;
    auto [p, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), parts[n]);
    if (ec != std::errc() || p != piece.data() + piece.size()) return std::nullopt;
    ++n;
    if (j == std::string_view::npos) break;
    s.remove_prefix(j + 1);
  }
  if (n < 2) return std::nullopt;
  int h = parts[0];
  if (pm >= 0) {
    if (h < 1 || h > 12) return std::nullopt;
    h = (h % 12) + (pm ? 12 : 0);
  }
  if (h > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
  return h * 3600 + parts[1] * 60 + parts[2];
}

// Reads a date text: "d/m/yyyy" (m/d when the first number cannot be a day
// and month pair the other way round), "yyyy-mm-dd" or "yyyy/mm/dd", each
// with an optional time, or a time alone.
std::optional<double> parseDateText(std::string_view text) {
  std::string_view s = trimWhitespace(text);
  if (s.empty()) return std::nullopt;
  std::string_view datePart = s, timePart;
  const size_t space = s.find(' ');
  if (space != std::string_view::npos) {
    datePart = s.substr(0, space);
    timePart = trimWhitespace(s.substr(space + 1));
  }
  if (datePart.find(':') != std::string_view::npos) {
    auto t = parseTime(s);
    if (!t) return std::nullopt;
    return double(*t) / kSecondsPerDay;
  }
  int nums[3];
  size_t lens[3];
  char sep = 0;
  size_t i = 0;
  for (int k = 0; k < 3; ++k) {
    size_t j = i;
    while (j < datePart.size() && datePart[j] >= '0' && datePart[j] <= '9') ++j;
    if (j == i) return std::nullopt;
    std::from_chars(datePart.data() + i, datePart.data() + j, nums[k]);
    lens[k] = j - i;
    if (k < 2) {
      if (j >= datePart.size()) return std::nullopt;
      const char c = datePart[j];
      if (c != '/' && c != '-' && c != '.') return std::nullopt;
      if (sep && c != sep) return std::nullopt;
      sep = c;
      i = j + 1;
    } else if (j != datePart.size()) {
      return std::nullopt;
    }
  }
  int y, m, d;
  if (lens[0] == 4) {
    y = nums[0], m = nums[1], d = nums[2];
  } else {
    y = nums[2];
    if (lens[2] <= 2) y += y < 30 ? 2000 : 1900;
    d = nums[0], m = nums[1];
    if (m > 12 && d <= 12) std::swap(d, m);
  }
  if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  int cy, cm, cd;
  civilFromDays(daysFromCivil(y, m, d), cy, cm, cd);
  if (cm != m) return std::nullopt;  // 31 April and the like
  int secs = 0;
  if (!timePart.empty()) {
    auto t = parseTime(timePart);
    if (!t) return std::nullopt;
    secs = *t;
  }
  return Variant::oleDate(y, m, d, 0, 0, secs);
}

std::string formatNumber(double v, int precision) {
  if (v == 0) return "0";
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
  if (ec != std::errc()) return "0";
  std::string s(buf, p);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return s;
}

std::string two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

int64_t roundHalfEven(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

}  // namespace

Variant Variant::date(int year, int month, int day, int hour, int minute, int second) {
  return Variant::date(oleDate(year, month, day, hour, minute, second));
}

double Variant::oleDate(int year, int month, int day, int hour, int minute, int second) {
  // Months and days outside their range carry over, as DateSerial does.
  int64_t m0 = int64_t(month) - 1;
  int64_t y = int64_t(year) + (m0 >= 0 ? m0 / 12 : (m0 - 11) / 12);
  m0 -= (m0 >= 0 ? m0 / 12 : (m0 - 11) / 12) * 12;
  const int64_t days = daysFromCivil(y, int(m0 + 1), 1) + (int64_t(day) - 1) - kOleEpoch;
  const int64_t t = days * kSecondsPerDay + int64_t(hour) * 3600 + int64_t(minute) * 60 + second;
  // Linear seconds to the OLE form, whose fraction counts away from day 0.
  const int64_t whole = t >= 0 ? t / kSecondsPerDay : -((-t + kSecondsPerDay - 1) / kSecondsPerDay);
  const int64_t rest = t - whole * kSecondsPerDay;
  const double frac = double(rest) / kSecondsPerDay;
  return whole >= 0 ? double(whole) + frac : double(whole) - frac;
}

Variant::DateParts Variant::splitOleDate(double oleDay) {
  DateParts parts;
  if (!std::isfinite(oleDay)) return parts;
  const double whole = std::trunc(oleDay);
  const int64_t secs = std::llround(std::fabs(oleDay - whole) * kSecondsPerDay);
  const int64_t linear = int64_t(whole) * kSecondsPerDay + secs;
  int64_t day = linear / kSecondsPerDay;
  int64_t rem = linear % kSecondsPerDay;
  if (rem < 0) {
    rem += kSecondsPerDay;
    --day;
  }
  civilFromDays(day + kOleEpoch, parts.year, parts.month, parts.day);
  parts.hour = int(rem / 3600);
  parts.minute = int(rem / 60 % 60);
  parts.second = int(rem % 60);
  return parts;
}

std::string Variant::formatOleDate(double oleDay) {
  const DateParts p = splitOleDate(oleDay);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s/%s/%04d", two(p.day).c_str(), two(p.month).c_str(), p.year);
  std::string s = buf;
  if (p.hour || p.minute || p.second) s += " " + two(p.hour) + ":" + two(p.minute) + ":" + two(p.second);
  return s;
}

bool Variant::isNumeric() const {
  switch (type()) {
    case Type::Empty:
    case Type::Integer:
    case Type::Long:
    case Type::Single:
    case Type::Double:
    case Type::Boolean: return true;
    case Type::String: try { return parseNumber(std::get<std::string>(v_)).has_value();
      } catch (const AppError&) {
        return true;  // too large for a Double, but a number
      }
    default: return false;
  }
}

std::string Variant::typeName() const {
  switch (type()) {
    case Type::Empty: return "Empty";
    case Type::Null: return "Null";
    case Type::Integer: return "Integer";
    case Type::Long: return "Long";
    case Type::Single: return "Single";
    case Type::Double: return "Double";
    case Type::Date: return "Date";
    case Type::String: return "String";
    case Type::Boolean: return "Boolean";
    case Type::Object: return "Object";
  }
  return "Variant";
}

double Variant::toDouble() const {
  switch (type()) {
    case Type::Empty: return 0;
    case Type::Null: raise(err::InvalidUseOfNull);
    case Type::Integer: return std::get<int16_t>(v_);
    case Type::Long: return std::get<int32_t>(v_);
    case Type::Single: return std::get<float>(v_);
    case Type::Double: return std::get<double>(v_);
    case Type::Date: return std::get<DateValue>(v_).day;
    case Type::Boolean: return std::get<BoolValue>(v_).value ? -1 : 0;
    case Type::String: {
      auto v = parseNumber(std::get<std::string>(v_));
      if (!v) raise(err::TypeMismatch);
      return *v;
    }
    case Type::Object: break;
  }
  raise(err::TypeMismatch);
}

int16_t Variant::toInteger() const {
  switch (type()) {
    case Type::Integer: return std::get<int16_t>(v_);
    case Type::Boolean: return std::get<BoolValue>(v_).value ? -1 : 0;
    default: break;
  }
  const double d = toDouble();
  if (!std::isfinite(d) || d < -32768.5 || d > 32767.5) raise(err::Overflow);
  const int64_t r = roundHalfEven(d);
  if (r < -32768 || r > 32767) raise(err::Overflow);
  return static_cast<int16_t>(r);
}

int32_t Variant::toLong() const {
  switch (type()) {
    case Type::Integer: return std::get<int16_t>(v_);
    case Type::Long: return std::get<int32_t>(v_);
    case Type::Boolean: return std::get<BoolValue>(v_).value ? -1 : 0;
    default: break;
  }
  const double d = toDouble();
  if (!std::isfinite(d) || d < -2147483648.5 || d > 2147483647.5) raise(err::Overflow);
  const int64_t r = roundHalfEven(d);
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) raise(err::Overflow);
  return static_cast<int32_t>(r);
}

bool Variant::toBool() const {
  switch (type()) {
    case Type::Boolean: return std::get<BoolValue>(v_).value;
    case Type::String: {
      std::string_view s = trimWhitespace(std::get<std::string>(v_));
      if (equalsIgnoreCase(s, "True")) return true;
      if (equalsIgnoreCase(s, "False")) return false;
      auto v = parseNumber(s);
      if (!v) raise(err::TypeMismatch);
      return *v != 0;
    }
    default: return toDouble() != 0;
  }
}

double Variant::toDate() const {
  switch (type()) {
    case Type::Date: return std::get<DateValue>(v_).day;
    case Type::String: {
      const std::string& s = std::get<std::string>(v_);
      if (auto d = parseDateText(s)) return *d;
      if (auto n = parseNumber(s)) return *n;
      raise(err::TypeMismatch);
    }
    default: break;
  }
  const double d = toDouble();
  // The range of the date type: 1 Jan 100 to 31 Dec 9999.
  if (d < -657434.0 || d >= 2958466.0) raise(err::Overflow);
  return d;
}

std::string Variant::toString() const {
  switch (type()) {
    case Type::Empty: return {};
    case Type::Null: raise(err::InvalidUseOfNull);
    case Type::Integer: return std::to_string(std::get<int16_t>(v_));
    case Type::Long: return std::to_string(std::get<int32_t>(v_));
    case Type::Single: return formatNumber(std::get<float>(v_), 7);
    case Type::Double: return formatNumber(std::get<double>(v_), 15);
    case Type::Date: return formatOleDate(std::get<DateValue>(v_).day);
    case Type::String: return std::get<std::string>(v_);
    case Type::Boolean: return std::get<BoolValue>(v_).value ? "True" : "False";
    case Type::Object: break;
  }
  raise(err::TypeMismatch);
}

std::shared_ptr<platform::Dispatch> Variant::toObject() const {
  if (type() != Type::Object) raise(err::TypeMismatch);
  return std::get<std::shared_ptr<platform::Dispatch>>(v_);
}

bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

std::ostream& operator<<(std::ostream& os, const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty: return os << "Empty";
    case Variant::Type::Null: return os << "Null";
    case Variant::Type::Object: return os << "Object";
    case Variant::Type::String: return os << "String \"" << v.toString() << "\"";
    default: return os << v.typeName() << " " << v.toString();
  }
}

}  // namespace pellary
