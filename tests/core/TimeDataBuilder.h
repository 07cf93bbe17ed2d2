// Receiver records for the tests: a received date and time in packed BCD
// with its flags, also for dates that do not exist.
#pragma once

#include <cstdint>

#include "common/DateTime.h"
#include "device/KronaltIF.h"

namespace hv::test {

constexpr TDateTime kOneMs = 1.0 / 86400000.0;

constexpr uint8_t kHoldsTime = 0x80;
constexpr uint8_t kDCF = 0x40;
constexpr uint8_t kSummer = 0x04;
constexpr uint8_t kTimeAvailable = 0x03;
constexpr uint8_t kDCFWinter = kHoldsTime | kDCF | kTimeAvailable;
constexpr uint8_t kDCFSummer = kDCFWinter | kSummer;
constexpr uint8_t kCrystal = kHoldsTime;

inline uint8_t Bcd(int value) {
  return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

// The fields as given, whether they form a date or not; the day of week is
// the calendar's where they do (1 = Monday), else 1.
inline TimeData Received(int year, int month, int day, int hour, int minute, int second,
                         uint8_t flags = kDCFWinter) {
  uint8_t dayOfWeek = 1;
  if (auto date = TryEncodeDate(year, month, day))
    dayOfWeek = static_cast<uint8_t>((DecodeDateTime(*date)->dayOfWeek + 5) % 7 + 1);
  return {Bcd(year % 100), Bcd(month),  Bcd(day),  Bcd(hour),
          Bcd(minute),     Bcd(second), dayOfWeek, flags};
}

inline TimeData Received(TDateTime t, uint8_t flags = kDCFWinter) {
  const DecodedDateTime d = *DecodeDateTime(t);
  return Received(d.year, d.month, d.day, d.hour, d.minute, d.second, flags);
}

inline TDateTime At(int year, int month, int day, int hour, int minute, int second,
                    int millisecond = 0) {
  return *TryEncodeDate(year, month, day) + *TryEncodeTime(hour, minute, second, millisecond);
}

}  // namespace hv::test
