// The variant value of the databank layer and of late-bound automation: the
// value kinds the program's data and dispatch calls carry, with the
// conversions of the Basic runtime (CInt, CLng, CDbl, CBool, CStr, CDate).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace pellary {

namespace platform {
class Dispatch;  // an automation object; defined by the automation layer
}

class Variant {
 public:
  enum class Type : uint8_t { Empty, Null, Integer, Long, Single, Double, Date, String, Boolean, Object };

  Variant() = default;  // Empty
  Variant(int16_t v) : v_(v) {}
  Variant(int32_t v) : v_(v) {}
  Variant(float v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(bool v) : v_(BoolValue{v}) {}
  Variant(const char* s) : v_(std::string(s ? s : "")) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(std::string_view s) : v_(std::string(s)) {}
  Variant(std::shared_ptr<platform::Dispatch> object) : v_(std::move(object)) {}
  // Any other integer: Long when it fits, else Double (as the runtime widens).
  template <class T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, int16_t> &&
           !std::is_same_v<T, int32_t>) Variant(T v) {
    if (std::in_range<int32_t>(v))
      v_ = static_cast<int32_t>(v);
    else
      v_ = static_cast<double>(v);
  }

  static Variant null() { return Variant(NullValue{}); }
  static Variant date(double oleDay) { return Variant(DateValue{oleDay}); }
  // A Date from its civil parts; parts out of range carry over as DateSerial does.
  static Variant date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

  Type type() const { return static_cast<Type>(v_.index()); }
  bool isEmpty() const { return type() == Type::Empty; }
  bool isNull() const { return type() == Type::Null; }
  bool isObject() const { return type() == Type::Object; }
  // IsNumeric: a number, a Boolean, Empty, or a string that reads as a number.
  bool isNumeric() const;
  // TypeName: "Integer", "Long", "Single", "Double", "Date", "String", "Boolean", "Empty", "Null", "Object".
  std::string typeName() const;

  // The conversions raise AppError: InvalidUseOfNull for Null, TypeMismatch for a
  // value that does not read as the target, Overflow for one out of its range.
  int16_t toInteger() const;     // CInt: rounds half to even
  int32_t toLong() const;        // CLng: rounds half to even
  double toDouble() const;       // CDbl (a Date gives its day number)
  bool toBool() const;           // CBool ("True"/"False" or a number for strings)
  double toDate() const;         // CDate as an OLE day number; strings "dd/mm/yyyy [hh:mm[:ss]]" or ISO
  std::string toString() const;  // CStr; a Date gives "dd/mm/yyyy" plus " hh:mm:ss" when it has a time
  std::shared_ptr<platform::Dispatch> toObject() const;  // TypeMismatch unless an Object

  // Same type and same value (so Null, Empty, 0 and False are four different values).
  friend bool operator==(const Variant& a, const Variant& b);

  // OLE day numbers: 0 is 30 Dec 1899; the fraction is the time of day, counted
  // away from day 0 (so -1.25 is 29 Dec 1899 06:00).
  struct DateParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  };
  static double oleDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
  static DateParts splitOleDate(double oleDay);     // rounded to the second
  static std::string formatOleDate(double oleDay);  // the Date's CStr text

 private:
  struct NullValue {
    bool operator==(const NullValue&) const = default;
  };
  struct DateValue {
    double day;
    bool operator==(const DateValue&) const = default;
  };
  struct BoolValue {
    bool value;
    bool operator==(const BoolValue&) const = default;
  };
  explicit Variant(NullValue n) : v_(n) {}
  explicit Variant(DateValue d) : v_(d) {}

  std::variant<std::monostate, NullValue, int16_t, int32_t, float, double, DateValue, std::string, BoolValue,
               std::shared_ptr<platform::Dispatch>>
      v_;
};

std::ostream& operator<<(std::ostream& os, const Variant& v);

}  // namespace pellary
