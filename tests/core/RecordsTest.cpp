// The record functions of the device binding and the date-time helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>

#include "common/DateTime.h"
#include "device/KronaltIF.h"

namespace hv {
namespace {

// 2026-12-08 12:34:56, a Tuesday, DCF77 normal time, state 3.
constexpr TimeData kGood = {0x26, 0x12, 0x08, 0x12, 0x34, 0x56, 2, 0xC3};

TimeData With(int byte, uint8_t value) {
  TimeData r = kGood;
  r[byte] = value;
  return r;
}

TEST(TimeDataValid, AcceptsAndRefusesEachFieldAtItsBounds) {
  struct Case {
    int byte;
    uint8_t value;
    bool valid;
  } cases[] = {
      {tdYear, 0x99, true},   {tdYear, 0x9A, false},   {tdMonth, 0x00, false},
      {tdMonth, 0x01, true},  {tdMonth, 0x0A, true},   {tdMonth, 0x12, true},
      {tdMonth, 0x13, false}, {tdDay, 0x00, false},    {tdDay, 0x31, true},
      {tdDay, 0x32, false},   {tdHour, 0x23, true},    {tdHour, 0x24, false},
      {tdMinute, 0x59, true}, {tdMinute, 0x60, false}, {tdMinute, 0x1A, true},
      {tdSecond, 0x59, true}, {tdSecond, 0x60, false}, {tdDayOfWeek, 0, false},
      {tdDayOfWeek, 1, true}, {tdDayOfWeek, 7, true},  {tdDayOfWeek, 8, false},
      {tdFlags, 0x7F, false}, {tdFlags, 0x80, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TimeDataValid(With(c.byte, c.value)), c.valid)
        << "byte " << c.byte << " value 0x" << std::hex << int(c.value);
}

TEST(TimeDataValid, AllZeroRecordIsInvalidAndConvertsToTheFallback) {
  const TimeData zero{};
  EXPECT_FALSE(TimeDataValid(zero));
  EXPECT_EQ(TimeDataToDateTime(zero), kFallbackDateTime);
}

TEST(TimeDataToDateTime, ConvertsBcdFieldsWithWholeSeconds) {
  auto expected = *TryEncodeDate(2026, 12, 8) + *TryEncodeTime(12, 34, 56, 0);
  EXPECT_DOUBLE_EQ(TimeDataToDateTime(kGood), expected);
  EXPECT_DOUBLE_EQ(TimeDataToDateTime(With(tdYear, 0x99)),
                   *TryEncodeDate(2099, 12, 8) + *TryEncodeTime(12, 34, 56, 0));
  // Nibbles are not checked for decimal digits: minute 0x1A is minute 20.
  EXPECT_DOUBLE_EQ(TimeDataToDateTime(With(tdMinute, 0x1A)),
                   *TryEncodeDate(2026, 12, 8) + *TryEncodeTime(12, 20, 56, 0));
}

TEST(TimeDataToDateTime, ImpossibleDatesAndTimesFallBackTo1980) {
  TimeData feb29 = {0x26, 0x02, 0x29, 0x10, 0x00, 0x01, 7, 0xC3};
  EXPECT_TRUE(TimeDataValid(feb29));  // the test knows no calendar
  EXPECT_EQ(TimeDataToDateTime(feb29), kFallbackDateTime);
  TimeData leap = feb29;
  leap[tdYear] = 0x28;
  EXPECT_NE(TimeDataToDateTime(leap), kFallbackDateTime);
  EXPECT_EQ(TimeDataToDateTime(With(tdMinute, 0x5A)), kFallbackDateTime);  // minute 60
  EXPECT_EQ(TimeDataToDateTime(With(tdMonth, 0x0D)), kFallbackDateTime);   // month 13
  EXPECT_EQ(TimeDataToDateTime(With(tdFlags, 0x43)), kFallbackDateTime);   // no time flag
}

TEST(TimeDataFlags, EachBitIsReadOnItsOwn) {
  EXPECT_TRUE(TimeDataIsDCF(With(tdFlags, 0xC0)));
  EXPECT_FALSE(TimeDataIsDCF(With(tdFlags, 0xBF)));
  EXPECT_TRUE(TimeDataSpareAntenna(With(tdFlags, 0x90)));
  EXPECT_FALSE(TimeDataSpareAntenna(With(tdFlags, 0xEF)));
  EXPECT_TRUE(TimeDataSummerTime(With(tdFlags, 0x84)));
  EXPECT_FALSE(TimeDataSummerTime(With(tdFlags, 0xFB)));
  for (int state = 0; state < 4; ++state)
    EXPECT_EQ(TimeDataState(With(tdFlags, static_cast<uint8_t>(0xFC | state))), state);
}

TEST(BCDToByte, DecodesNibblesWithoutCheckingDigits) {
  EXPECT_EQ(BCDToByte(0x00), 0);
  EXPECT_EQ(BCDToByte(0x59), 59);
  EXPECT_EQ(BCDToByte(0x99), 99);
  EXPECT_EQ(BCDToByte(0x1A), 20);
  EXPECT_EQ(BCDToByte(0xFF), 165);
}

TEST(ConfigurationByte, ActiveLowBitsAndInvertedModule) {
  EXPECT_FALSE(CfgHasRTC(0xFF));
  EXPECT_FALSE(CfgHasBatteryMeasure(0xFF));
  EXPECT_EQ(CfgDCFModule(0xFF), 0);
  EXPECT_TRUE(CfgHasRTC(0x0C));
  EXPECT_TRUE(CfgHasBatteryMeasure(0x0C));
  EXPECT_EQ(CfgDCFModule(0x0C), 15);
  EXPECT_TRUE(CfgHasRTC(0xFE));
  EXPECT_FALSE(CfgHasBatteryMeasure(0xFE));
  EXPECT_EQ(CfgDCFModule(0xDF), 2);
}

TEST(DateTime, DayNumbersOfKnownDates) {
  EXPECT_EQ(*TryEncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(*TryEncodeDate(1980, 1, 1), kFallbackDateTime);
  EXPECT_EQ(*TryEncodeDate(2000, 3, 1), 36586.0);
  EXPECT_FALSE(TryEncodeDate(2026, 2, 29));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29));
  EXPECT_FALSE(TryEncodeDate(2026, 4, 31));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0));
}

TEST(DateTime, DayNumbersAtTheEdgesOfTheConvention) {
  // Before day 0 the whole days count back and the fraction forward; a
  // fraction that rounds to a whole day carries over; only the years
  // 1..9999 are dates.
  const struct {
    double value;
    std::optional<SystemTime> time;
  } cases[] = {
      {-1.25, SystemTime{1899, 12, 5, 29, 6, 0, 0, 0}},
      {-0.5, SystemTime{1899, 12, 6, 30, 12, 0, 0, 0}},
      {0.9999999999, SystemTime{1899, 12, 0, 31, 0, 0, 0, 0}},
      {-1.9999999999, SystemTime{1899, 12, 4, 28, 0, 0, 0, 0}},
      {-693593.0, SystemTime{1, 1, 1, 1, 0, 0, 0, 0}},
      {2958465.99999, SystemTime{9999, 12, 5, 31, 23, 59, 59, 136}},
      {-693594.0, std::nullopt},
      {2958465.9999999999, std::nullopt},
      {2958466.0, std::nullopt},
      {1e300, std::nullopt},
      {std::nan(""), std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<SystemTime> t = DateTimeToSystemTime(c.value);
    ASSERT_EQ(t.has_value(), c.time.has_value()) << c.value;
    if (!t) continue;
    EXPECT_EQ(std::memcmp(&*t, &*c.time, sizeof *t), 0)
        << c.value << ": " << t->wYear << "-" << t->wMonth << "-" << t->wDay << " " << t->wHour
        << ":" << t->wMinute;
  }
  EXPECT_EQ(*TrySystemTimeToDateTime({1899, 12, 5, 29, 6, 0, 0, 0}), -1.25);
  EXPECT_EQ(*TryEncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(*TryEncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_FALSE(TryEncodeDate(2026, 1, 257)) << "no day wraps around";
  EXPECT_FALSE(TryEncodeDate(0, 1, 1));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1));
}

TEST(DateTime, SystemTimeRoundTripKeepsEveryField) {
  SystemTime t{2026, 12, 2, 8, 23, 59, 58, 100};  // a Tuesday
  auto value = TrySystemTimeToDateTime(t);
  ASSERT_TRUE(value);
  auto back = DateTimeToSystemTime(*value);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->wYear, 2026);
  EXPECT_EQ(back->wMonth, 12);
  EXPECT_EQ(back->wDay, 8);
  EXPECT_EQ(back->wDayOfWeek, 2);
  EXPECT_EQ(back->wHour, 23);
  EXPECT_EQ(back->wMinute, 59);
  EXPECT_EQ(back->wSecond, 58);
  EXPECT_EQ(back->wMilliseconds, 100);
  EXPECT_EQ(DateTimeToSystemTime(0.0)->wDayOfWeek, 6);  // 1899-12-30 was a Saturday
}

}  // namespace
}  // namespace hv
