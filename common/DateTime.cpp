// Calendar arithmetic of the day-number date-time.
#include "common/DateTime.h"

#include <cmath>
#include <cstdio>

namespace hv {

namespace {
constexpr int64_t kMsPerDay = 86400000;
// Days from 0001-01-01 to 1899-12-30, day number 0.
constexpr int64_t kDateDelta = 693593;

int64_t DaysBeforeYear(int64_t year) {
  const int64_t y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400;
}
}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  int64_t days = DaysBeforeYear(year);
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  days += day - 1;
  return static_cast<TDateTime>(days - kDateDelta);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    return std::nullopt;
  const int64_t ms = ((hour * 60 + minute) * 60 + second) * 1000LL + millisecond;
  return static_cast<TDateTime>(ms) / kMsPerDay;
}

std::optional<TDateTime> TrySystemTimeToDateTime(const SystemTime& t) {
  auto date = TryEncodeDate(t.wYear, t.wMonth, t.wDay);
  auto time = TryEncodeTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  if (!date || !time) return std::nullopt;
  // Before 1899-12-30 the fraction counts away from zero.
  return *date >= 0 ? *date + *time : *date - *time;
}

TDateTime SystemTimeToDateTime(const SystemTime& t) {
  if (auto value = TrySystemTimeToDateTime(t)) return *value;
  char fields[64];
  std::snprintf(fields, sizeof fields, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  throw EConvertError(std::string(fields) + " is not a valid date and time");
}

std::optional<DecodedDateTime> DecodeDateTime(TDateTime value) {
  if (!std::isfinite(value)) return std::nullopt;
  // Milliseconds since 1899-12-30 00:00, negative days mirrored as the
  // day-number convention has it (the fraction always counts forward).
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(fraction * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += value >= 0 ? 1 : -1;
  }
  int64_t absolute = day + kDateDelta;  // days since 0001-01-01
  if (absolute < 0 || absolute >= DaysBeforeYear(10000)) return std::nullopt;
  DecodedDateTime d{};
  d.dayOfWeek = static_cast<int>((absolute + 1) % 7) + 1;  // 0001-01-01 was a Monday
  int year = static_cast<int>(absolute / 366) + 1;
  while (DaysBeforeYear(year + 1) <= absolute) ++year;
  int64_t rest = absolute - DaysBeforeYear(year);
  int month = 1;
  while (rest >= DaysInMonth(year, month)) rest -= DaysInMonth(year, month++);
  d.year = year;
  d.month = month;
  d.day = static_cast<int>(rest) + 1;
  d.hour = static_cast<int>(ms / 3600000);
  d.minute = static_cast<int>(ms / 60000 % 60);
  d.second = static_cast<int>(ms / 1000 % 60);
  d.millisecond = static_cast<int>(ms % 1000);
  return d;
}

std::optional<SystemTime> DateTimeToSystemTime(TDateTime value) {
  auto d = DecodeDateTime(value);
  if (!d) return std::nullopt;
  SystemTime t;
  t.wYear = static_cast<uint16_t>(d->year);
  t.wMonth = static_cast<uint16_t>(d->month);
  t.wDayOfWeek = static_cast<uint16_t>(d->dayOfWeek - 1);
  t.wDay = static_cast<uint16_t>(d->day);
  t.wHour = static_cast<uint16_t>(d->hour);
  t.wMinute = static_cast<uint16_t>(d->minute);
  t.wSecond = static_cast<uint16_t>(d->second);
  t.wMilliseconds = static_cast<uint16_t>(d->millisecond);
  return t;
}

}  // namespace hv
