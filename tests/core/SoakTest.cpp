// A day of virtual time with the rules on, a receiver that misbehaves at random and a user who
// changes the Setup page at random: the program keeps its invariants throughout.
#include <cmath>
#include <random>

#include "config/UnitConfig.h"
#include "tests/core/PollFixture.h"
#include "tests/core/TimeDataBuilder.h"
#include "timekeeping/UnitPlausibility.h"

namespace hv::test {
namespace {

using Soak = PollFixture;

TEST_F(Soak, ADayOfFaultsAndSetupChanges) {
  WriteSettings(os,
                "[TNA]\r\nFirstRun=0\r\nStartupUpdate=1\r\nPeriodicalUpdate=1\r\n"
                "DCFQuality=2\r\nTimeRef=2\r\n");
  UseReceiver();
  bool suspended = false;
  bool libraryCallWhileSuspended = false;
  int64_t statusCalls = 0;
  std::string previous;
  int badOpens = 0;
  // The receiver keeps the true time whatever the program does to the PC
  // clock: each record it hands out lies within the second before the true
  // time (the scenario's impossible dates aside).
  int recordsRead = 0;
  int64_t worstRecordLagMs = 0;
  receiver->SetLogSink([&](const std::string& line) {
    libraryCallWhileSuspended |= suspended;
    const size_t data = line.find(" _GetTimeData buf -> 1 raw=0x");
    if (data != std::string::npos && !receiver->scenario().time_data) {
      const std::string hex = line.substr(line.find("data=") + 5, 16);
      int b[8];
      for (int i = 0; i < 8; ++i) b[i] = std::stoi(hex.substr(2 * i, 2), nullptr, 16);
      const auto field = [&](int i) { return (b[i] >> 4) * 10 + (b[i] & 15); };
      const TDateTime received = At(2000 + field(0), field(1), field(2), field(3), field(4),
                                    field(5));
      const int64_t lagMs = std::llround(
          (TrueTimeIn(2, os.TrueUtcMilliseconds()) - received) * 86400000.0);
      worstRecordLagMs = std::max(worstRecordLagMs, lagMs < 0 ? 100000 : lagMs);
      ++recordsRead;
    }
    const bool open = line.find(" _Open ") != std::string::npos;
    if (open && previous.find("_NumInstalled - -> 0") != std::string::npos) ++badOpens;
    if (line.find(" _GetStatus ") != std::string::npos) ++statusCalls;
    previous = line;
  });
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  sim::Scenario& scenario = receiver->mutable_scenario();
  const sim::Scenario healthy = scenario;
  std::mt19937 random(20261208);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

  size_t checkedSettings = 0;
  size_t historyMax = 0;
  for (int minute = 0; minute < 24 * 60; ++minute) {
    // One fault or change in most minutes; each lasts until the next.
    scenario.source = healthy.source;
    scenario.reception = healthy.reception;
    scenario.time_data.reset();
    scenario.skip_seconds.clear();
    switch (pick(14)) {
      case 0: {  // unplugged for a while
        const int64_t now = receiver->ElapsedMs();
        scenario.installed = {{now, 0}, {now + 1000 * (1 + pick(90)), 1}};
        break;
      }
      case 1:  // a storm of failures and "not ready yet"
      case 2: {
        std::vector<int32_t> answers(static_cast<size_t>(statusCalls), 1);
        for (int i = 0; i < 40; ++i) answers.push_back(pick(3) - 1);
        answers.push_back(1);
        scenario.status = sim::Sequence{answers};
        break;
      }
      case 3:
        scenario.source = sim::TimeSource::kCrystal;
        break;
      case 4:
        scenario.reception = pick(3);
        break;
      case 5:
        scenario.skip_seconds = {0, 1};
        break;
      case 6:  // an impossible date
        scenario.time_data = std::array<uint8_t, 8>{0x26, 0x02, 0x30, 0x12, 0x00, 0x01, 1, 0xC7};
        break;
      case 7: {  // suspend, and resume a little later
        intptr_t result = 0;
        f.DispatchMessage(kWmPowerBroadcast, 4, 0, result);
        suspended = true;
        os.RunFor(1000 * (1 + pick(20)));
        suspended = false;
        f.DispatchMessage(kWmPowerBroadcast, 7, 0, result);
        break;
      }
      case 8:
        f.RadioGroupStartup.UserSelect(pick(3));
        break;
      case 9:
        f.RadioGroupPeriodical.UserSelect(pick(3));
        break;
      case 10:
        f.SpinEditQuality.UserSetText(std::to_string(1 + pick(5)));
        break;
      case 11:
        f.ComboBoxRef.UserSelect(pick(3));
        break;
      case 12:
        if (f.Visible())
          f.SpeedButtonHide.UserClick();
        else
          f.WMTrayIcon(kWmLButtonUp);
        break;
      default:
        break;
    }
    os.RunFor(60000);
    ASSERT_FALSE(os.Terminated());

    historyMax = std::max(historyMax, app->DataModulePlausibility->History().size());
    ASSERT_LE(app->DataModulePlausibility->History().size(), 5u);
    ASSERT_EQ(f.PollDepth(), 0);
    // Each setting puts the PC clock within the poll's reach of the true time in the reference
    // chosen this minute, and comes at least ten minutes (in the reference's time) after the
    // one before.
    for (; checkedSettings < os.setLocalTimeCalls.size(); ++checkedSettings) {
      const auto& call = os.setLocalTimeCalls[checkedSettings];
      const TDateTime requested = *TrySystemTimeToDateTime(call.time);
      const int64_t errorMs = SettingErrorMs(call, f.ComboBoxRef.ItemIndex());
      EXPECT_GE(errorMs, -120) << "setting " << checkedSettings;
      EXPECT_LE(errorMs, 100) << "setting " << checkedSettings;
      if (checkedSettings > 0) {
        const auto& before = os.setLocalTimeCalls[checkedSettings - 1];
        EXPECT_GT(requested - *TrySystemTimeToDateTime(before.time), 10 * kOneMinute)
            << "setting " << checkedSettings;
      }
    }
  }
  EXPECT_FALSE(libraryCallWhileSuspended);
  EXPECT_GT(recordsRead, 40000);
  EXPECT_LT(worstRecordLagMs, 1000) << "the receiver's view never jumps with the PC clock";
  EXPECT_EQ(badOpens, 0);
  EXPECT_TRUE(os.boxes.empty()) << os.boxes.front().text;
  EXPECT_GT(os.setLocalTimeCalls.size(), 24u) << "the hourly rule set the clock";
  EXPECT_LT(os.trayCalls.size(), 3000u) << "the tray changes only with the source";
  EXPECT_GE(historyMax, 2u);
  // And the program still ends in order.
  f.SpeedButtonTerminate.UserClick();
  EXPECT_TRUE(os.Terminated());
  EXPECT_NE(SettingsFile().find("LastUpdate="), std::string::npos);
}

}  // namespace
}  // namespace hv::test
