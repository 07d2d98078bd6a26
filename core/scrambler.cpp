#include "core/scrambler.h"

#include <cctype>
#include <cmath>

#include "platform/errors.h"
#include "platform/text/codepages.h"

namespace pellary {

namespace text = platform::text;

namespace {

constexpr int kBase = 33;
constexpr size_t kChunkChars = 30;
constexpr size_t kChunkSymbols = 2 * kChunkChars;

char symbolOf(int32_t value) {
  if (value >= 0 && value <= 25) return char(value + 65);
  if (value >= 26 && value <= 51) return char(value + 71);
  if (value >= 52 && value <= 59) return char(value - 4);
  if (value == 60) return '\\';
  if (value == 61) return '+';
  if (value == 62) return '-';
  if (value == 63 || value == 64) return char(value - 7);
  raise(err::InvalidCall);
}

int32_t valueOf(unsigned char c) {
  if (c == 43) return 61;
  if (c == 45) return 62;
  if (c < 56) return c + 4;
  if (c == 56 || c == 57) return c + 7;
  if (c >= 58 && c <= 90) return c - 65;
  if (c == 92) return 60;
  return c - 71;
}

int32_t powMod(int32_t v, int power) {
  double p = std::pow(double(v), power);
  return Bse_Remainder(p, kBase);
}

// The chunk's Windows-1252 bytes scrambled.
std::string codeUpBytes(const std::string& chunk) {
  const size_t n = chunk.size();
  if (n == 0) return {};
  std::vector<int32_t> a(2 * n);
  for (size_t k = 0; k < n; ++k) a[k] = static_cast<unsigned char>(chunk[k]);
  for (size_t k = 0; k < n; ++k) a[n + k] = a[k] / kBase + int32_t(k);
  for (int32_t& v : a) v = powMod(v, 3);
  std::vector<int32_t> e = Bse_Step(a, true);
  std::string out;
  out.reserve(e.size());
  for (int32_t v : e) out += symbolOf(v);
  return out;
}

// Symbols (Windows-1252 bytes) back to the characters' bytes.
std::string codeDownBytes(const std::string& chunk) {
  const size_t len = chunk.size();
  if (len == 0 || len % 2 == 1) return chunk;
  std::vector<int32_t> v(len);
  for (size_t i = 0; i < len; ++i) v[i] = valueOf(static_cast<unsigned char>(chunk[i]));
  v = Bse_Step(v, false);
  for (int32_t& x : v) x = powMod(x, 7);
  const size_t h = len / 2;
  std::string out;
  out.reserve(h);
  for (size_t k = 0; k < h; ++k) {
    // The encoder wrote (code \ 33 + k) mod 33. The quotient is 0 to 7, so
    // counting k back modulo 33 restores it, also where code \ 33 + k passed
    // 32; where it did not, this is the plain difference.
    int32_t upper = v[h + k] - int32_t(k % kBase);
    if (v[h + k] >= 0 && v[h + k] < kBase) upper = ((upper % kBase) + kBase) % kBase;
    int32_t code = upper * kBase + v[k];
    if (code < 0 || code > 255) raise(err::InvalidCall);
    out += static_cast<char>(code);
  }
  return out;
}

// Symbols the encoder writes: letters, digits, "\", "+" and "-".
bool isSymbol(unsigned char c) { return std::isalnum(c) || c == '\\' || c == '+' || c == '-'; }

}  // namespace

bool Bse_CanScramble(const std::string& textUtf8) {
  for (size_t pos = 0; pos < textUtf8.size();)
    if (text::cp1252Byte(text::nextUtf8(textUtf8, pos)) < 0) return false;
  return true;
}

std::string Bse_StoredPassword(const std::string& stored) {
  if (stored.empty() || stored.size() % 2 != 0) return {};
  for (unsigned char c : stored)
    if (!isSymbol(c)) return {};
  try {
    std::string bytes;
    for (size_t i = 0; i < stored.size(); i += kChunkSymbols) bytes += codeDownBytes(stored.substr(i, kChunkSymbols));
    // Only what scrambles back to the stored value was written by the scrambler.
    std::string again;
    for (size_t i = 0; i < bytes.size(); i += kChunkChars) again += codeUpBytes(bytes.substr(i, kChunkChars));
    return again == stored ? text::cp1252ToUtf8(bytes) : std::string();
  } catch (const AppError&) {
    return {};
  }
}

std::string Bse_LongCodeUp(const std::string& textUtf8) {
  return trapped("Bse_LongCodeUp", [&] {
    std::string bytes = text::utf8ToCp1252(textUtf8);
    std::string out;
    out.reserve(2 * bytes.size());
    for (size_t i = 0; i < bytes.size(); i += kChunkChars)
      out += Bse_CodeUp(text::cp1252ToUtf8(bytes.substr(i, kChunkChars)));
    return out;
  });
}

std::string Bse_LongCodeDown(const std::string& scrambled) {
  return trapped("Bse_LongCodeDown", [&] {
    std::string bytes = text::utf8ToCp1252(scrambled);
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += kChunkSymbols)
      out += Bse_CodeDown(text::cp1252ToUtf8(bytes.substr(i, kChunkSymbols)));
    return out;
  });
}

std::string Bse_CodeUp(const std::string& chunk) {
  return trapped("Bse_CodeUp", [&] { return codeUpBytes(text::utf8ToCp1252(chunk)); });
}

std::string Bse_CodeDown(const std::string& chunk) {
  return trapped("Bse_CodeDown", [&] { return text::cp1252ToUtf8(codeDownBytes(text::utf8ToCp1252(chunk))); });
}

std::vector<int32_t> Bse_Step(const std::vector<int32_t>& values, bool encode) {
  return trapped("Bse_Step", [&] {
    std::vector<int32_t> r = values;
    if (encode) {
      for (size_t i = 1; i < values.size(); ++i) r[i] = values[i - 1] + values[i];
    } else {
      for (size_t i = 1; i < r.size(); ++i) r[i] = r[i] - r[i - 1];
    }
    return r;
  });
}

int16_t Bse_Remainder(double x, int32_t divisor) {
  if (divisor <= 0) raise(err::InvalidCall);
  if (!std::isfinite(x)) raise(err::Overflow);
  // Repeated subtraction of divisor x 10^p leaves exactly fmod's result; fmod
  // does it without looping over values a damaged string can make huge.
  double r = x < 0 ? x : std::fmod(x, double(divisor));
  if (r < -32768.5 || r >= 32767.5) raise(err::Overflow);
  return int16_t(std::lround(r));
}

}  // namespace pellary
