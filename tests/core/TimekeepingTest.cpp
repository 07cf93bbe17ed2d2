// Precise delay arithmetic, platform levels and the system-time privilege.
#include <gtest/gtest.h>

#include "platform/virtual/VirtualPlatform.h"
#include "timekeeping/PCTime.h"
#include "timekeeping/Prectime.h"
#include "timekeeping/SysCheck.h"

namespace hv {
namespace {

class Timekeeping : public ::testing::Test {
 protected:
  void SetUp() override { InstallPlatform(&os); }
  void TearDown() override { InstallPlatform(nullptr); }
  VirtualPlatform os;
};

using Prectime = Timekeeping;

TEST_F(Prectime, ElapsedMicrosecondsRoundsHalfToEven) {
  os.counterFrequency = 10000000;
  InitializePrectime();
  EXPECT_EQ(ElapsedMicroseconds(100, 100), 0);
  EXPECT_EQ(ElapsedMicroseconds(0, 25), 2);  // 2.5 goes to the even 2
  EXPECT_EQ(ElapsedMicroseconds(0, 35), 4);  // 3.5 goes to the even 4
  EXPECT_EQ(ElapsedMicroseconds(0, 26), 3);
  // Multiplied first, the tie is exact: 123.5 goes to 124 and 124.5 to 124
  // (dividing first lands just beside them, on 123 and 125).
  EXPECT_EQ(ElapsedMicroseconds(0, 1235), 124);
  EXPECT_EQ(ElapsedMicroseconds(0, 1245), 124);
  EXPECT_EQ(ElapsedMicroseconds(25, 0), -2);
  EXPECT_EQ(ElapsedMicroseconds(100, 0), -10);
  // A 64-bit count converts without loss.
  EXPECT_EQ(ElapsedMicroseconds(0, int64_t{1} << 62), (int64_t{1} << 62) / 10);
}

// Calibration on a 10 MHz counter whose readings take `costNs` each: a
// 2 us request waits 20 counts; a measurement spans T0, the start reading,
// the waiting readings and T1.
TEST_F(Prectime, CalibrationMeasuresTheCostOfATwoMicrosecondRequest) {
  struct Case {
    int64_t costNs;
    int32_t overhead;
  } cases[] = {
      {1000, 2},  // 2 waiting readings: 4 us each, 64 / 16 - 2
      {500, 1},   // 4 waiting readings: 3 us each, 48 / 16 - 2
      {250, 0},   // 8 waiting readings: 2.5 us, a tie that rounds to 2: 32 / 16 - 2
  };
  for (const Case& c : cases) {
    os.counterFrequency = 10000000;
    os.counterReadCostNs = c.costNs;
    InitializePrectime();
    EXPECT_EQ(DelayOverheadValue(), c.overhead) << c.costNs << " ns per reading";
    EXPECT_EQ(CounterFrequencyValue(), 10000000);
  }
}

TEST_F(Prectime, ACoarseCounterMeasuresNothingAndGivesANegativeOverhead) {
  // At 1 kHz a 2 us request is 0 counts: the sixteen measurements add up
  // to 0 us, so every later request is lengthened by 2 us.
  os.counterFrequency = 1000;
  InitializePrectime();
  EXPECT_EQ(DelayOverheadValue(), -2);
}

TEST_F(Prectime, RequestsAtOrBelowTheOverheadReadNoCounter) {
  InitializePrectime();
  ASSERT_EQ(DelayOverheadValue(), 2);
  const int before = os.counterReads;
  DelayMicroseconds(2);
  DelayMicroseconds(0);
  DelayMicroseconds(-5);
  EXPECT_EQ(os.counterReads, before);
}

TEST_F(Prectime, RequestWaitsForTheCorrectedNumberOfCounts) {
  InitializePrectime();  // 10 MHz, 1 us per reading: overhead 2
  ASSERT_EQ(DelayOverheadValue(), 2);
  int64_t start = 0;
  int64_t stop = 0;
  ReadCounter(start);
  DelayMicroseconds(100);  // waits 10 counts/us x 98 us = 980 counts
  ReadCounter(stop);
  // This start reading, the delay's own start reading, 98 waiting readings
  // of 10 counts each, and this stop reading.
  EXPECT_EQ(stop - start, 1000);
}

TEST_F(Prectime, NoRequestOverflowsAndNoMeasurementEither) {
  os.counterFrequency = 1000;
  InitializePrectime();
  ASSERT_EQ(DelayOverheadValue(), -2);
  // The longest request, lengthened by the overhead: 2^31 + 1 us, more than
  // 32 bits hold. A second per reading keeps the wait to some 2148 readings.
  os.counterReadCostNs = 1000000000;
  int64_t start = 0;
  int64_t stop = 0;
  ReadCounter(start);
  DelayMicroseconds(INT32_MAX);
  ReadCounter(stop);
  EXPECT_GE(stop - start, 2147484);  // 1000 counts/s x 2147.483649 s, rounded
  EXPECT_LE(stop - start, 2147484 + 3000);

  // Measurements beyond the 64-bit range give its ends.
  EXPECT_EQ(ElapsedMicroseconds(0, INT64_MAX), INT64_MAX);
  EXPECT_EQ(ElapsedMicroseconds(INT64_MAX, 0), INT64_MIN);
  EXPECT_EQ(ElapsedMicroseconds(INT64_MIN, INT64_MAX), INT64_MAX);
  EXPECT_EQ(ElapsedMicroseconds(0, 9223372036854), 9223372036854000);
}

TEST_F(Prectime, NoCounterFrequencyMeansNoOverheadAndNoWait) {
  os.counterFrequency = 0;
  InitializePrectime();
  EXPECT_EQ(DelayOverheadValue(), 0);
  const int before = os.counterReads;
  DelayMicroseconds(1000);
  EXPECT_EQ(os.counterReads, before);
  EXPECT_EQ(ElapsedMicroseconds(0, 1000), 0);
}

using SysCheck = Timekeeping;

TEST_F(SysCheck, PlatformLevels) {
  struct Case {
    uint32_t platformId;
    bool versionOk;
    uint32_t major;
    int32_t level;
  } cases[] = {
      {kPlatformWin32s, true, 5, -1},      {7, true, 5, -1},
      {kPlatformWin32Windows, true, 5, 0}, {kPlatformWin32NT, true, 4, 1},
      {kPlatformWin32NT, true, 3, 1},      {kPlatformWin32NT, false, 6, 1},
      {kPlatformWin32NT, true, 5, 2},      {kPlatformWin32NT, true, 10, 2},
  };
  for (const Case& c : cases) {
    os.startupPlatformId = c.platformId;
    os.versionQueryOk = c.versionOk;
    os.version.dwMajorVersion = c.major;
    InitializeSysCheck();
    EXPECT_EQ(PlatformLevel(), c.level) << "platform " << c.platformId << " major " << c.major;
  }
}

using PCTime = Timekeeping;

TEST_F(PCTime, PrivilegeEnabledOnNtOpensAndClosesTheTokenOnce) {
  InitializePCTime();
  EXPECT_TRUE(HasSystemTimePrivilege());
  EXPECT_EQ(os.requestedTokenAccess, std::vector<uint32_t>{0x28});
  EXPECT_EQ(os.lookedUpPrivileges, std::vector<std::string>{"SeSystemtimePrivilege"});
  EXPECT_EQ(os.adjustedAttributes, std::vector<uint32_t>{2});
  EXPECT_EQ(os.tokensOpened, 1);
  EXPECT_EQ(os.tokensClosed, 1);
}

TEST_F(PCTime, EveryFailurePathGivesFalseAndClosesAnOpenedToken) {
  struct Case {
    const char* name;
    uint32_t platformId;
    bool open, lookup, adjust;
    uint32_t lastError;
    int closed;
  } cases[] = {
      {"not NT", kPlatformWin32Windows, true, true, true, 0, 0},
      {"token not opened", kPlatformWin32NT, false, true, true, 0, 0},
      {"name not found", kPlatformWin32NT, true, false, true, 0, 1},
      {"adjust failed", kPlatformWin32NT, true, true, false, 0, 1},
      {"right not held", kPlatformWin32NT, true, true, true, kErrorNotAllAssigned, 1},
  };
  for (const Case& c : cases) {
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    fresh.startupPlatformId = c.platformId;
    fresh.openTokenOk = c.open;
    fresh.lookupPrivilegeOk = c.lookup;
    fresh.adjustPrivilegeOk = c.adjust;
    fresh.adjustPrivilegeLastError = c.lastError;
    InitializePCTime();
    EXPECT_FALSE(HasSystemTimePrivilege()) << c.name;
    EXPECT_EQ(fresh.tokensClosed, c.closed) << c.name;
    EXPECT_EQ(fresh.tokensOpened, c.platformId == kPlatformWin32NT && c.open ? 1 : 0) << c.name;
    // Without the privilege the clock is never handed to the system.
    EXPECT_FALSE(SetPCTime(fresh.GetLocalTime())) << c.name;
    EXPECT_TRUE(fresh.setLocalTimeCalls.empty()) << c.name;
  }
  InstallPlatform(&os);
}

TEST_F(PCTime, SetterPassesTheRecordUnchangedEveryTime) {
  InitializePCTime();
  SystemTime t{2026, 12, 3, 8, 10, 0, 1, 100};
  EXPECT_TRUE(SetPCTime(t));
  EXPECT_TRUE(SetPCTime(t));
  ASSERT_EQ(os.setLocalTimeCalls.size(), 2u);
  EXPECT_EQ(os.setLocalTimeCalls[1].time.wMilliseconds, 100);
  EXPECT_EQ(os.setLocalTimeCalls[1].time.wHour, 10);
  // A record the system refuses gives false; the flag stays.
  SystemTime bad = t;
  bad.wMonth = 13;
  EXPECT_FALSE(SetPCTime(bad));
  EXPECT_TRUE(HasSystemTimePrivilege());
  os.setLocalTimeResult = false;
  EXPECT_FALSE(SetPCTime(t));
}

}  // namespace
}  // namespace hv
