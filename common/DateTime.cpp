// Calendar arithmetic of the day-number date-time, on the standard calendar.
#include "common/DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace hv {

namespace {
namespace chr = std::chrono;

constexpr int64_t kMsPerDay = chr::milliseconds{chr::days{1}}.count();
// Day number 0, and the first and last day of the years 1..9999.
constexpr chr::sys_days kDayZero{chr::year{1899} / 12 / 30};
constexpr chr::sys_days kFirstDay{chr::year{1} / 1 / 1};
constexpr chr::sys_days kLastDay{chr::year{9999} / 12 / 31};
}  // namespace

bool IsLeapYear(int year) {
  return chr::year{year}.is_leap();
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  const chr::year_month_day_last last{chr::year{year}, chr::month_day_last{chr::month(month)}};
  return static_cast<int>(static_cast<unsigned>(last.day()));
}

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
  // Out-of-range fields are refused before they reach the calendar types.
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
    return std::nullopt;
  const chr::year_month_day date{chr::year{year}, chr::month(month), chr::day(day)};
  if (!date.ok()) return std::nullopt;
  return static_cast<TDateTime>((chr::sys_days{date} - kDayZero).count());
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    return std::nullopt;
  const chr::milliseconds time = chr::hours{hour} + chr::minutes{minute} + chr::seconds{second} +
                                 chr::milliseconds{millisecond};
  return static_cast<TDateTime>(time.count()) / kMsPerDay;
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
  // Whole days since 1899-12-30 and milliseconds into the day, negative days
  // mirrored as the day-number convention has it (the fraction always
  // counts forward).
  const double whole = std::trunc(value);
  if (std::fabs(whole) > (kLastDay - kDayZero).count() + 1) return std::nullopt;
  const double fraction = std::fabs(value - whole);
  chr::sys_days date = kDayZero + chr::days{static_cast<int64_t>(whole)};
  int64_t ms = std::llround(fraction * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    date += chr::days{value >= 0 ? 1 : -1};
  }
  if (date < kFirstDay || date > kLastDay) return std::nullopt;

  const chr::year_month_day ymd{date};
  const chr::hh_mm_ss<chr::milliseconds> time{chr::milliseconds{ms}};
  DecodedDateTime d{};
  d.year = static_cast<int>(ymd.year());
  d.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  d.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  d.hour = static_cast<int>(time.hours().count());
  d.minute = static_cast<int>(time.minutes().count());
  d.second = static_cast<int>(time.seconds().count());
  d.millisecond = static_cast<int>(time.subseconds().count());
  d.dayOfWeek = static_cast<int>(chr::weekday{date}.c_encoding()) + 1;
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
