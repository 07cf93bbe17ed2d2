// The synchronisation decision, fed with receiver records second by second
// while the virtual PC clock runs along.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "config/IniValues.h"
#include "config/UnitConfig.h"
#include "tests/core/CoreFixture.h"
#include "tests/core/TimeDataBuilder.h"

namespace hv::test {
namespace {

const char kAdjusted[] = "PC time adjusted.";
const char kFailed[] = "Adjustment of system clock failed!";
const char kTooFar[] = "Too great deviation to current PC time!";
const char kDecodingError[] = "Time decoding error!";
const char kNoLibrary[] = "Error: Library Tempiva.dll not found!";  // left by the start

enum Ref { kUTC = 0, kCET = 1, kCEST = 2 };

std::string Show(const SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

class SyncDecision : public CoreFixture {
 protected:
  // The program runs without a receiver library: the records come from
  // the test.
  void SetUp() override {
    CoreFixture::SetUp();
    ASSERT_TRUE(StartProgram());
  }

  // The process ended: a new one starts on the same machine.
  void Restart() {
    app.reset();
    os.mutexes.clear();
    os.setLocalTimeCalls.clear();
    os.beeps.clear();
    os.boxes.clear();
    ASSERT_TRUE(StartProgram());
  }

  // The Setup page as the user left it (the decision reads the controls).
  void Rules(int startup, int periodical, const std::string& required, int reference = kCEST) {
    Main().RadioGroupStartup.SetItemIndex(startup);
    Main().RadioGroupPeriodical.SetItemIndex(periodical);
    Main().SpinEditQuality.SetText(required);
    Main().ComboBoxRef.SetItemIndex(reference);
  }

  // The PC clock `aheadMs` after the received time `received`, as when the
  // record is read in the first 200 ms of its second.
  void PcClock(TDateTime received, double aheadMs = 150) {
    os.SetNow(received + aheadMs / 86400000.0);
  }

  // One record a second for `seconds` seconds from `from` (received time);
  // the PC clock runs on by a second with each, from wherever the last
  // setting put it. `skip` leaves out the records it names.
  void Run(TDateTime from, int seconds, uint8_t flags, int32_t quality = 9,
           const std::function<bool(TDateTime)>& skip = nullptr) {
    for (int i = 0; i < seconds; ++i) {
      const TDateTime received = from + i * kOneSecond;
      if (!skip || !skip(received)) Main().SyncPCTime(Received(received, flags), quality);
      os.SetNow(os.Now() + kOneSecond);
    }
  }

  std::vector<std::string> Settings() const {
    std::vector<std::string> shown;
    for (const auto& call : os.setLocalTimeCalls) shown.push_back(Show(call.time));
    return shown;
  }

  std::string Msg() { return Main().PanelMsg.Text(); }
};

TEST_F(SyncDecision, StartupRuleWaitsForTheRequiredMinutesQualityAndDCFTime) {
  struct Case {
    const char* name;
    int startup;
    const char* required;
    uint8_t flags;
    int32_t quality;
    int setAtMinute;  // second 1 of this minute after 12:00; -1: never
  };
  const Case cases[] = {
      {"rule 1, value 1: the first second 1", 1, "1", kDCFWinter, 0, 1},
      {"rule 1, value 2: two minutes in a row", 1, "2", kDCFWinter, 0, 2},
      {"rule 1 takes crystal time", 1, "2", kCrystal, 0, 2},
      {"rule 1, a value typed with blanks", 1, " 3 ", kCrystal, 0, 3},
      {"rule 1, text that is no number counts as 1", 1, "two", kDCFWinter, 0, 1},
      {"rule 2, value 5, quality at the bound", 2, "5", kDCFWinter, 5, 5},
      {"rule 2, value 5, quality below", 2, "5", kDCFWinter, 4, -1},
      {"rule 2 refuses crystal time", 2, "5", kCrystal, 50, -1},
      {"never", 0, "1", kDCFWinter, 9, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    Rules(c.startup, 0, c.required);
    const TDateTime start = At(2026, 12, 8, 12, 0, 30);
    PcClock(start);
    Run(start, 8 * 60, c.flags, c.quality);
    if (c.setAtMinute >= 0) {
      const TDateTime received = At(2026, 12, 8, 12, c.setAtMinute, 1);
      EXPECT_EQ(Settings(),
                std::vector<std::string>{Show(*DateTimeToSystemTime(received + 100 * kOneMs))});
      EXPECT_EQ(Msg(), kAdjusted);
      EXPECT_FALSE(Main().FStartupPending);
      EXPECT_EQ(Config.LastUpdate, received);
    } else {
      EXPECT_TRUE(Settings().empty());
      EXPECT_EQ(Msg(), kNoLibrary);  // no attempt, no message
      EXPECT_EQ(Config.LastUpdate, 0.0);
      EXPECT_TRUE(Main().FStartupPending);
    }
  }
}

TEST_F(SyncDecision, HourlyRuleSetsFromHh0001AndTriesEveryRecordOnceArmed) {
  // "never" at start-up, hourly also with crystal time, the PC clock half a
  // minute fast: each full hour sets it, from crystal time too.
  Rules(0, 1, "2");
  PcClock(At(2026, 12, 8, 12, 58, 0), 30000);
  Run(At(2026, 12, 8, 12, 58, 0), 63 * 60, kCrystal);
  EXPECT_EQ(Settings(),
            (std::vector<std::string>{"2026-12-08 13:00:01.100", "2026-12-08 14:00:01.100"}));
  EXPECT_FALSE(Main().FPeriodicPending);

  // The receiver skipped 13:00:01: that hour the rule is not armed.
  Restart();
  Rules(0, 1, "2");
  PcClock(At(2026, 12, 8, 12, 58, 0), 30000);
  const TDateTime missed = At(2026, 12, 8, 13, 0, 1);
  Run(At(2026, 12, 8, 12, 58, 0), 63 * 60, kCrystal, 9,
      [&](TDateTime t) { return std::abs(t - missed) < kOneMs; });
  EXPECT_EQ(Settings(), std::vector<std::string>{"2026-12-08 14:00:01.100"});

  // DCF time with quality 5: armed at 13:00:01 while the quality is low, set
  // by the first record whose quality reaches the bound.
  Restart();
  Rules(0, 2, "5");
  PcClock(At(2026, 12, 8, 12, 59, 50));
  Run(At(2026, 12, 8, 12, 59, 50), 20, kDCFWinter, 4);
  EXPECT_TRUE(Settings().empty());
  EXPECT_TRUE(Main().FPeriodicPending);
  Run(At(2026, 12, 8, 13, 0, 10), 60, kCrystal, 9);  // crystal time does not count
  EXPECT_TRUE(Settings().empty());
  Run(At(2026, 12, 8, 13, 1, 10), 60, kDCFWinter, 5);
  EXPECT_EQ(Settings(), std::vector<std::string>{"2026-12-08 13:01:10.100"});
}

TEST_F(SyncDecision, StartupRuleIsArmedAgainByEveryRecordOfAFullHour) {
  Rules(1, 0, "1");
  PcClock(At(2026, 12, 8, 12, 40, 30));
  Run(At(2026, 12, 8, 12, 40, 30), 80 * 60, kDCFWinter);
  // The records after hh:00:01 arm it once more; ten minutes after the
  // setting it sets again.
  EXPECT_EQ(Settings(),
            (std::vector<std::string>{"2026-12-08 12:41:01.100", "2026-12-08 13:00:01.100",
                                      "2026-12-08 13:11:01.100", "2026-12-08 14:00:01.100"}));
}

TEST_F(SyncDecision, SettingsKeepTenMinutesApartAndTheRulesStayArmedMeanwhile) {
  Rules(1, 1, "1");
  PcClock(At(2026, 12, 8, 11, 54, 30));
  Run(At(2026, 12, 8, 11, 54, 30), 6 * 60, kDCFWinter);  // to 12:00:29
  EXPECT_EQ(Settings(), std::vector<std::string>{"2026-12-08 11:55:01.100"});
  // 12:00:01 qualified under both rules but came too soon: skipped silently.
  EXPECT_TRUE(Main().FStartupPending);
  EXPECT_TRUE(Main().FPeriodicPending);
  Main().PanelMsg.SetText("");
  Run(At(2026, 12, 8, 12, 0, 30), 4 * 60 + 31, kDCFWinter);  // to 12:05:00
  EXPECT_EQ(Settings().size(), 1u);
  EXPECT_EQ(Msg(), "");
  // The hourly rule tries every record: the first one after 12:05:01.
  Run(At(2026, 12, 8, 12, 5, 1), 60, kDCFWinter);
  EXPECT_EQ(Settings(),
            (std::vector<std::string>{"2026-12-08 11:55:01.100", "2026-12-08 12:05:02.100"}));
  EXPECT_FALSE(Main().FStartupPending);
  EXPECT_FALSE(Main().FPeriodicPending);
}

TEST_F(SyncDecision, ReferenceShiftsTheReceivedTime) {
  struct Case {
    int reference;
    uint8_t flags;
    TDateTime received;
    const char* setTo;
    uint16_t dayOfWeek;  // the system's, 0 = Sunday
  };
  const TDateTime noon = At(2026, 7, 1, 12, 0, 1);  // a Wednesday
  const Case cases[] = {
      {kUTC, kDCFSummer, noon, "2026-07-01 10:00:01.100", 3},
      {kUTC, kDCFWinter, noon, "2026-07-01 11:00:01.100", 3},
      {kCET, kDCFSummer, noon, "2026-07-01 11:00:01.100", 3},
      {kCET, kDCFWinter, noon, "2026-07-01 12:00:01.100", 3},
      {kCEST, kDCFSummer, noon, "2026-07-01 12:00:01.100", 3},
      {-1, kDCFSummer, noon, "2026-07-01 12:00:01.100", 3},  // no selection: none
      // Crystal time is shifted by the flag it carries.
      {kUTC, kCrystal | kSummer, noon, "2026-07-01 10:00:01.100", 3},
      // Back across midnight: the day of week is the new day's.
      {kUTC, kDCFSummer, At(2026, 7, 1, 1, 0, 1), "2026-06-30 23:00:01.100", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setTo);
    Restart();
    Rules(1, 0, "1", c.reference);
    PcClock(c.received);
    Main().SyncPCTime(Received(c.received, c.flags), 9);
    ASSERT_EQ(Settings(), std::vector<std::string>{c.setTo});
    EXPECT_EQ(os.setLocalTimeCalls[0].time.wDayOfWeek, c.dayOfWeek);
    EXPECT_EQ(Config.LastUpdate, c.received);  // as received, before the shift
  }
}

TEST_F(SyncDecision, TheReceivedOrTheShiftedTimeMustLieWithin70MinutesOfThePCClock) {
  struct Case {
    int reference;
    uint8_t flags;
    double pcMinusReceivedSeconds;
    bool set;
  };
  const double kHour = 3600;
  const Case cases[] = {
      {kCEST, kDCFSummer, 69 * 60 + 59, true},
      {kCEST, kDCFSummer, -(69 * 60 + 59.999), true},
      {kCEST, kDCFSummer, 70 * 60, false},
      {kCEST, kDCFSummer, 70 * 60 + 1, false},
      {kCEST, kDCFSummer, -(70 * 60 + 1), false},
      // A PC clock that holds UTC is two hours behind summer time.
      {kUTC, kDCFSummer, -2 * kHour, true},
      {kUTC, kDCFSummer, -2 * kHour - (69 * 60 + 59), true},
      {kUTC, kDCFSummer, -2 * kHour - (70 * 60 + 1), false},
      {kUTC, kDCFSummer, 75 * 60, false},
      {kUTC, kDCFWinter, -kHour, true},
      {kUTC, kDCFWinter, -kHour - 70 * 60, false},
      {kCET, kDCFSummer, -kHour - 69 * 60, true},
  };
  const TDateTime received = At(2026, 7, 1, 12, 0, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "reference " << c.reference << ", PC " << c.pcMinusReceivedSeconds << " s");
    Restart();
    Rules(1, 0, "1", c.reference);
    // Measured from the time to set, 100 ms into the received second; the
    // half millisecond is below what the PC clock reads.
    os.SetNow(received + (100.5 + c.pcMinusReceivedSeconds * 1000) * kOneMs);
    Main().SyncPCTime(Received(received, c.flags), 9);
    EXPECT_EQ(os.setLocalTimeCalls.size(), c.set ? 1u : 0u);
    EXPECT_EQ(Msg(), c.set ? kAdjusted : kTooFar);
    EXPECT_EQ(Main().FStartupPending, !c.set);
  }
}

TEST_F(SyncDecision, ADateThatDoesNotExist) {
  Rules(0, 1, "2");
  // At second 1 the filter refuses it, before any rule is looked at.
  EXPECT_THROW(Main().SyncPCTime(Received(2026, 2, 30, 13, 0, 1), 9), EConvertError);
  EXPECT_FALSE(Main().FPeriodicPending);
  EXPECT_EQ(app->DataModulePlausibility->FStatusLabel, &Main().LabelDebug_Status);
  EXPECT_TRUE(app->DataModulePlausibility->History().empty());

  // A system that refuses the time leaves the hourly rule armed.
  os.setLocalTimeResult = false;
  PcClock(At(2026, 2, 28, 13, 0, 1));
  Main().SyncPCTime(Received(2026, 2, 28, 13, 0, 1), 9);
  EXPECT_EQ(Msg(), kFailed);
  EXPECT_TRUE(Main().FPeriodicPending);
  EXPECT_TRUE(Main().FStartupPending);
  EXPECT_EQ(Config.LastUpdate, 0.0);
  os.setLocalTimeResult = true;
  os.setLocalTimeCalls.clear();

  // At another second it counts as 1980-01-01 00:00:00, far from the PC
  // clock, ...
  Main().SyncPCTime(Received(2026, 2, 30, 13, 0, 2), 9);
  EXPECT_EQ(Msg(), kTooFar);
  // ... unless the PC clock is near that: then the conversion fails.
  os.SetNow(kFallbackDateTime + 30 * kOneMinute);
  Main().SyncPCTime(Received(2026, 2, 30, 13, 0, 3), 9);
  EXPECT_EQ(Msg(), kDecodingError);
  EXPECT_TRUE(os.setLocalTimeCalls.empty());
  EXPECT_TRUE(Main().FPeriodicPending);

  // A window of 1 does not convert at second 1: the start-up rule
  // qualifies and the bound refuses it.
  Rules(1, 0, "1");
  PcClock(At(2026, 2, 28, 13, 1, 1));
  Main().SyncPCTime(Received(2026, 2, 30, 13, 1, 1), 9);
  EXPECT_EQ(Msg(), kTooFar);
  EXPECT_TRUE(os.setLocalTimeCalls.empty());
}

TEST_F(SyncDecision, AReferenceWithALargerShiftWaitsUntilItsTimeHasPassedTheLastSetting) {
  Rules(1, 0, "1", kCEST);
  PcClock(At(2026, 7, 1, 11, 59, 30));
  Run(At(2026, 7, 1, 11, 59, 30), 60, kDCFSummer);
  ASSERT_EQ(Settings(), std::vector<std::string>{"2026-07-01 12:00:01.100"});
  Main().ComboBoxRef.UserSelect(kUTC);
  // UTC is two hours behind: 14:10:01 would be 12:10:01, still not later
  // than ten minutes after 12:00:01.
  Run(At(2026, 7, 1, 12, 0, 30), 2 * 3600 + 11 * 60, kDCFSummer);
  EXPECT_EQ(Settings(),
            (std::vector<std::string>{"2026-07-01 12:00:01.100", "2026-07-01 12:11:01.100"}));
  EXPECT_EQ(Config.LastUpdate, At(2026, 7, 1, 14, 11, 1));
}

TEST_F(SyncDecision, TheToneFollowsTheSettingAsLoaded) {
  Rules(1, 0, "1");
  Main().CheckBoxTone.UserToggle();  // ticked during the run
  PcClock(At(2026, 12, 8, 12, 0, 1));
  Main().SyncPCTime(Received(At(2026, 12, 8, 12, 0, 1)), 9);
  EXPECT_EQ(Msg(), kAdjusted);
  EXPECT_TRUE(os.beeps.empty());
  Main().SpeedButtonTerminate.UserClick();
  ASSERT_TRUE(os.Terminated());

  Restart();
  EXPECT_NEAR(Config.LastUpdate, At(2026, 12, 8, 12, 0, 1), kOneMs);  // kept in the file
  Rules(1, 0, "1");
  PcClock(At(2026, 12, 8, 13, 0, 1));
  Main().SyncPCTime(Received(At(2026, 12, 8, 13, 0, 1)), 9);
  EXPECT_EQ(Msg(), kAdjusted);
  EXPECT_EQ(os.beeps, std::vector<uint32_t>{0});
}

TEST_F(SyncDecision, TerminateAfterUpdateEndsTheProgramOnlyWhileTheWindowIsHidden) {
  Rules(1, 0, "1");
  Main().CheckBoxTerminate.SetChecked(true);
  auto feed = [&](int hour) {
    const TDateTime received = At(2026, 12, 8, hour, 0, 1);
    PcClock(received);
    Main().PanelMsg.SetText("");
    Main().SyncPCTime(Received(received), 9);
    return received;
  };

  // Shown: the program goes on.
  Main().Show();
  feed(12);
  EXPECT_EQ(Msg(), kAdjusted);
  EXPECT_FALSE(os.Terminated());

  // Hidden, with a settings file that cannot be written: the clock is set,
  // the failed save is reported like any other, and the program goes on.
  Main().Hide();
  os.profiles.unwritable.insert(kSettingsPath);
  const size_t trayCalls = os.trayCalls.size();
  TDateTime received = feed(13);
  EXPECT_EQ(Settings().back(), "2026-12-08 13:00:01.100");
  EXPECT_EQ(Msg(), kAdjusted);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text,
            std::string("In ") + kSettingsPath + " kann nicht geschrieben werden.");
  EXPECT_EQ(os.boxes[0].caption, "DCF77");
  EXPECT_EQ(os.boxes[0].kind, MessageBoxKind::Error);
  EXPECT_FALSE(os.Terminated());
  EXPECT_EQ(os.trayCalls.size(), trayCalls);  // the icon stays
  EXPECT_FALSE(Main().FStartupPending);
  EXPECT_FALSE(Main().FPeriodicPending);
  EXPECT_EQ(Config.LastUpdate, received);

  // Hidden, the file writable again: the program ends with the received
  // time in the file, and no message.
  os.profiles.unwritable.clear();
  received = feed(14);
  EXPECT_EQ(Settings().size(), 3u);
  EXPECT_TRUE(os.Terminated());
  EXPECT_EQ(Msg(), "");
  EXPECT_NEAR(ParseIniReal(os.profiles.Get("TNA", "LastUpdate", "", kSettingsPath), '.'), received,
              kOneMs);
}

}  // namespace
}  // namespace hv::test
