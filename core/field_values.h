// Reading databank fields into the program's fixed-width values. An empty or
// Null column reads as 0, so a row with a missing value loads instead of
// ending the program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dao/dao.h"

namespace pellary {

inline bool isBlank(const Variant& v) {
  return v.isNull() || v.isEmpty() || (v.type() == Variant::Type::String && v.toString().empty());
}
inline int16_t shortOf(const dao::Field& f) {
  Variant v = f.value();
  return isBlank(v) ? int16_t(0) : v.toInteger();
}
inline int32_t longOf(const Variant& v) { return isBlank(v) ? 0 : v.toLong(); }
inline int32_t longOf(const dao::Field& f) { return longOf(f.value()); }
inline double dateOf(const dao::Field& f) {
  Variant v = f.value();
  return isBlank(v) ? 0.0 : v.toDate();
}
inline std::string textOf(const Variant& v) { return v.isNull() || v.isEmpty() ? std::string() : v.toString(); }
inline std::string textOf(const dao::Field& f) { return textOf(f.value()); }

}  // namespace pellary
