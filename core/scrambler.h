// Scrambling of the calendar programs' passwords kept in the settings.
//
// No key: it hides a password from a casual look and nothing more. Each
// character, taken by its Windows-1252 code, becomes two of 65 symbols
// (letters, digits, "\", "+" and "-"), in chunks of 30 characters (60
// symbols). The decoder restores every character at every position, also the
// codes from 132 up in the last positions of a chunk, whose upper digit the
// encoder writes modulo 33.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellary {

// Scrambles text (UTF-8; a character Windows-1252 lacks becomes "?").
std::string Bse_LongCodeUp(const std::string& text);
// Restores the text of Bse_LongCodeUp's result, in 60-symbol chunks.
std::string Bse_LongCodeDown(const std::string& scrambled);

// True when every character has a Windows-1252 code, so that the scrambler
// keeps it (a password with any other character is refused when typed).
bool Bse_CanScramble(const std::string& text);
// The password of a stored setting; empty when the value is not one the
// scrambler wrote (edited by hand, damaged), which counts as no stored password.
std::string Bse_StoredPassword(const std::string& stored);

// One chunk of (normally) 1 to 30 characters: 2n symbols; empty for empty.
std::string Bse_CodeUp(const std::string& chunk);
// One chunk of symbols: the text; the chunk itself when its length is odd or 0.
// A chunk that the encoder cannot have written may decode to other
// characters or raise InvalidCall.
std::string Bse_CodeDown(const std::string& chunk);

// encode: e(0) = a(0), e(i) = a(i-1) + a(i). decode undoes it in place order.
std::vector<int32_t> Bse_Step(const std::vector<int32_t>& values, bool encode);
// x mod divisor for x >= 0; a negative x comes back as it is. Raises
// Overflow when the result does not fit 16 bits.
int16_t Bse_Remainder(double x, int32_t divisor);

}  // namespace pellary
