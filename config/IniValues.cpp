// Integer, boolean and real value forms of the settings file.
#include "config/IniValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hv {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string FormatIniInteger(int32_t value) {
  return std::to_string(value);
}

int32_t ParseIniInteger(std::string_view text, int32_t fallback) {
  std::string_view s = TrimLeft(text);
  if (s.empty()) return fallback;

  size_t prefix = 0;
  if (s[0] == '$' || s[0] == 'x' || s[0] == 'X')
    prefix = 1;
  else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
    prefix = 2;
  if (prefix > 0) {
    std::string_view digits = s.substr(prefix);
    if (digits.empty()) return fallback;
    uint32_t pattern = 0;
    int significant = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return fallback;
      if (significant > 0 || d != 0) ++significant;
      if (significant > 8) return fallback;
      pattern = pattern << 4 | static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(pattern);
  }

  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return fallback;
  int64_t value = 0;
  for (char c : s) {
    if (!IsDigit(c)) return fallback;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return fallback;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return fallback;
  return static_cast<int32_t>(value);
}

std::string FormatIniBoolean(bool value) {
  return value ? "1" : "0";
}

bool ParseIniBoolean(std::string_view text, bool fallback) {
  return ParseIniInteger(text, fallback ? 1 : 0) != 0;
}

std::string FormatIniReal(double value, char decimalSeparator) {
  // Zero of either sign, and what is no number (it would read back as 0).
  if (value == 0.0 || !std::isfinite(value)) return "0";
  // The fifteen significant digits and the power of ten of the first one.
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
  std::string digits;
  const char* p = buffer;
  for (; *p != 'e'; ++p)
    if (IsDigit(*p)) digits += *p;
  const int exponent = std::atoi(p + 1);
  digits.erase(digits.find_last_not_of('0') + 1);

  std::string text = value < 0 ? "-" : "";
  if (exponent < 0) {
    text += '0';
    text += decimalSeparator;
    text.append(static_cast<size_t>(-exponent - 1), '0');
    text += digits;
  } else {
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      text += digits;
      text.append(whole - digits.size(), '0');
    } else {
      text += digits.substr(0, whole);
      text += decimalSeparator;
      text += digits.substr(whole);
    }
  }
  return text;
}

double ParseIniReal(std::string_view text, char decimalSeparator) {
  const std::string_view s = Trim(text);
  // Check the form first, then convert a copy with "." as separator.
  std::string plain;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
  int mantissaDigits = 0;
  while (i < s.size() && IsDigit(s[i])) plain += s[i++], ++mantissaDigits;
  if (i < s.size() && s[i] == decimalSeparator) {
    plain += '.';
    ++i;
    while (i < s.size() && IsDigit(s[i])) plain += s[i++], ++mantissaDigits;
  }
  if (mantissaDigits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    int exponentDigits = 0;
    while (i < s.size() && IsDigit(s[i])) plain += s[i++], ++exponentDigits;
    if (exponentDigits == 0) return 0.0;
  }
  if (i != s.size()) return 0.0;
  const char* first = plain.data();
  if (*first == '+') ++first;
  double value = 0.0;
  auto [end, ec] = std::from_chars(first, plain.data() + plain.size(), value);
  if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return 0.0;
  return value;
}

}  // namespace hv
