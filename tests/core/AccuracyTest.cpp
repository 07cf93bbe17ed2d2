// How far each setting of the PC clock lands from the true time: the requested time minus the
// clock at the moment the system is asked, over many settings through the real poll cycle.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tests/core/PollFixture.h"

namespace hv::test {
namespace {

using Accuracy = PollFixture;

// The system refuses every time, so the armed hourly rule tries each record from hh:00:01 on:
// one setting a second, each at its own phase of the poll against the receiver's seconds. The
// PC clock runs 40 minutes ahead meanwhile: what is asked for depends on the true time only.
// Then the system accepts: the PC clock lies as near the true time, and stays there.
TEST_F(Accuracy, EverySettingLandsWithinThePollsReachOfTheTrueTime) {
  WriteSettings(os, "[TNA]\r\nFirstRun=0\r\nStartupUpdate=0\r\nPeriodicalUpdate=1\r\n");
  os.SetNow(*TryEncodeDate(2026, 12, 8) + *TryEncodeTime(11, 59, 30, 0));
  os.SetPCClock(os.TrueNow() + 40 * kOneMinute);
  os.setLocalTimeResult = false;
  Start();
  os.RunFor(150000);

  std::vector<int64_t> errors;
  for (const auto& call : os.setLocalTimeCalls) errors.push_back(SettingErrorMs(call, 2));
  ASSERT_GE(errors.size(), 50u);
  std::sort(errors.begin(), errors.end());
  std::printf("setting error ms over %zu settings: min %lld median %lld max %lld\n", errors.size(),
              static_cast<long long>(errors.front()),
              static_cast<long long>(errors[errors.size() / 2]),
              static_cast<long long>(errors.back()));
  // A record is read at most one poll (203 ms) and one wait (16 ms) after its second began;
  // the clock is set to 100 ms past that second.
  EXPECT_GE(errors.front(), -120);
  EXPECT_LE(errors.back(), 100);

  os.setLocalTimeResult = true;
  os.RunFor(1000);
  EXPECT_EQ(Main().PanelMsg.Text(), "PC time adjusted.");
  const int64_t pcMinusTrueMs = std::llround((os.Now() - os.TrueNow()) * 86400000.0);
  EXPECT_GE(pcMinusTrueMs, -120);
  EXPECT_LE(pcMinusTrueMs, 100);
  os.RunFor(600000);
  EXPECT_EQ(std::llround((os.Now() - os.TrueNow()) * 86400000.0), pcMinusTrueMs);
}

}  // namespace
}  // namespace hv::test
