#include "platform/text/collation.h"

#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <memory>

namespace pellary::platform::text {

namespace {

struct CollatorClose {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// Secondary strength: base letters first, then accents; case never counts.
UCollator* collator() {
  static const std::unique_ptr<UCollator, CollatorClose> c = [] {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* made = ucol_open("", &status);
    if (U_FAILURE(status)) return std::unique_ptr<UCollator, CollatorClose>();
    ucol_setStrength(made, UCOL_SECONDARY);
    return std::unique_ptr<UCollator, CollatorClose>(made);
  }();
  return c.get();
}

int byBytes(std::string_view a, std::string_view b) { return a.compare(b) < 0 ? -1 : a == b ? 0 : 1; }

bool validUtf8(std::string_view s) {
  UErrorCode status = U_ZERO_ERROR;
  // Preflight conversion: fails on a malformed sequence.
  u_strFromUTF8(nullptr, 0, nullptr, s.data(), static_cast<int32_t>(s.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

int sqliteCompare(void*, int na, const void* a, int nb, const void* b) {
  return compareNames(std::string_view(static_cast<const char*>(a), size_t(na)),
                      std::string_view(static_cast<const char*>(b), size_t(nb)));
}

}  // namespace

int compareNames(std::string_view a, std::string_view b) {
  UCollator* c = collator();
  const bool va = validUtf8(a), vb = validUtf8(b);
  if (!c || !va || !vb) {
    if (va != vb) return va ? -1 : 1;
    return byBytes(a, b);
  }
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r =
      ucol_strcollUTF8(c, a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()), &status);
  if (U_FAILURE(status)) return byBytes(a, b);
  return r == UCOL_LESS ? -1 : r == UCOL_EQUAL ? 0 : 1;
}

std::string nameSortKey(std::string_view name) {
  // Valid texts first (their collation key), then the others by their bytes.
  UCollator* c = collator();
  const bool valid = validUtf8(name);
  std::string key(1, valid ? '\x01' : '\x02');
  if (!c || !valid) return key.append(name);
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  std::u16string text(name.size(), u'\0');
  u_strFromUTF8(reinterpret_cast<UChar*>(text.data()), int32_t(text.size()), &length, name.data(), int32_t(name.size()),
                &status);
  if (U_FAILURE(status)) return key.append(name);
  text.resize(size_t(length));
  uint8_t small[256];
  const UChar* chars = reinterpret_cast<const UChar*>(text.data());
  int32_t size = ucol_getSortKey(c, chars, length, small, int32_t(sizeof small));
  std::string bytes;
  if (size <= int32_t(sizeof small)) {
    bytes.assign(reinterpret_cast<const char*>(small), size_t(size));
  } else {
    bytes.resize(size_t(size));
    size = ucol_getSortKey(c, chars, length, reinterpret_cast<uint8_t*>(bytes.data()), size);
    bytes.resize(size_t(size));
  }
  // The key ends in a zero byte, its only one: without it, byte order is the key's order.
  if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  return key.append(bytes);
}

bool registerNameCollation(sqlite3* db) {
  return sqlite3_create_collation(db, kNameCollation, SQLITE_UTF8, nullptr, sqliteCompare) == SQLITE_OK;
}

}  // namespace pellary::platform::text
