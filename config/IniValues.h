// The value forms of the settings file: how integers, booleans and reals
// are written as text and read back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hv {

// Decimal digits, "-" for negative values, no leading zeros.
std::string FormatIniInteger(int32_t value);

// A signed 32-bit integer: after optional leading blanks either an
// optional "+"/"-" and decimal digits, or a hexadecimal number (no sign)
// introduced by "$", "x", "X", "0x" or "0X" with at most eight significant
// digits, taken as a 32-bit pattern. Anything else (empty text, other
// characters anywhere, a prefix without digits, a decimal value outside the
// 32-bit range) gives `fallback`.
int32_t ParseIniInteger(std::string_view text, int32_t fallback);

// "1" or "0".
std::string FormatIniBoolean(bool value);
// An integer by the rules above with the default 1 (true) or 0 (false);
// any non-zero integer is true.
bool ParseIniBoolean(std::string_view text, bool fallback);

// Rounded to 15 significant digits, always in decimal notation (never an
// exponent), trailing zeros dropped, no separator for a whole number,
// `decimalSeparator` as the separator; "0" for zero of either sign (and
// for what is no finite number, which reads back as 0 anyway).
std::string FormatIniReal(double value, char decimalSeparator);
// A decimal number with `decimalSeparator`: optional sign, digits with an
// optional separator, optional exponent after "E"/"e", blanks around it.
// Empty text, text that does not convert, and values out of range give 0.
double ParseIniReal(std::string_view text, char decimalSeparator);

}  // namespace hv
