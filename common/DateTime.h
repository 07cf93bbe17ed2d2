// The date-time type: a day number as a double (whole days since
// 1899-12-30, the fraction the time of day), and its calendar helpers.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "platform/Platform.h"

namespace hv {

using TDateTime = double;

constexpr TDateTime kOneSecond = 1.0 / 86400.0;
constexpr TDateTime kOneMinute = 1.0 / 1440.0;
constexpr TDateTime kOneHour = 1.0 / 24.0;
// 1980-01-01 00:00:00, the fallback of a record that converts to no date.
constexpr TDateTime kFallbackDateTime = 29221.0;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// The day number of a calendar date; nothing when it is no date (year
// 1..9999, month 1..12, day 1..days of that month).
std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
// The fraction of a day; nothing when hour > 23, minute > 59, second > 59
// or millisecond > 999.
std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond);
// Date plus time of day of a system time record (its day of week is not
// looked at); nothing when the fields form no valid date and time.
std::optional<TDateTime> TrySystemTimeToDateTime(const SystemTime& time);

// A date or time that does not exist was to be converted.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// As above; fields that form no valid date and time raise EConvertError.
TDateTime SystemTimeToDateTime(const SystemTime& time);

struct DecodedDateTime {
  int year, month, day, hour, minute, second, millisecond;
  int dayOfWeek;  // 1 = Sunday .. 7 = Saturday
};
// Splits a day number, rounded to the nearest millisecond. Nothing for a
// value outside the years 1..9999.
std::optional<DecodedDateTime> DecodeDateTime(TDateTime value);
// All eight fields recomputed; day of week 0 = Sunday.
std::optional<SystemTime> DateTimeToSystemTime(TDateTime value);

}  // namespace hv
