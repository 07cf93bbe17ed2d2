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
// one setting a second, each at its own phase of the poll against the receiver's seconds.
TEST_F(Accuracy, EverySettingLandsWithinThePollsReachOfTheTrueTime) {
  WriteSettings(os, "[TNA]\r\nFirstRun=0\r\nStartupUpdate=0\r\nPeriodicalUpdate=1\r\n");
  os.SetNow(*TryEncodeDate(2026, 12, 8) + *TryEncodeTime(11, 59, 30, 0));
  os.setLocalTimeResult = false;
  Start();
  os.RunFor(150000);

  std::vector<int64_t> errors;
  for (const auto& call : os.setLocalTimeCalls) {
    const TDateTime requested = *TrySystemTimeToDateTime(call.time);
    errors.push_back(std::llround(requested * 86400e3 - call.atUs / 1000.0));
  }
  ASSERT_GE(errors.size(), 50u);
  std::sort(errors.begin(), errors.end());
  std::printf("setting error ms over %zu settings: min %lld median %lld max %lld\n", errors.size(),
              static_cast<long long>(errors.front()),
              static_cast<long long>(errors[errors.size() / 2]),
              static_cast<long long>(errors.back()));
  // A record is read at most one poll (203 ms) and one wait (16 ms) after its second began;
  // the clock is set to 100 ms past that second.
  EXPECT_GE(errors.front(), 100 - 203 - 16 - 16);
  EXPECT_LE(errors.back(), 100);
}

}  // namespace
}  // namespace hv::test
