// The program's events in the event log: which are written when, what their
// insertion strings say, and how often a repeating kind may appear.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/EventLog.h"
#include "tests/core/PollFixture.h"
#include "tests/core/TimeDataBuilder.h"

namespace hv::test {
namespace {

// An event as the Event Viewer shows it: its number and severity.
struct Shown {
  uint16_t id;
  EventType type;
  std::vector<std::string> strings;
  int64_t atUs;
};

std::vector<Shown> EventsOf(const VirtualPlatform& platform) {
  std::vector<Shown> shown;
  for (const auto& e : platform.events) {
    // The message table's severity bits must agree with the entry's type.
    const uint32_t severity = e.messageId >> 30;
    EXPECT_EQ(severity, e.type == EventType::Error     ? 3u
                        : e.type == EventType::Warning ? 2u
                                                       : 1u)
        << std::hex << e.messageId;
    shown.push_back({static_cast<uint16_t>(e.messageId & 0xFFFF), e.type, e.strings, e.atUs});
  }
  return shown;
}

std::vector<uint16_t> Ids(const VirtualPlatform& platform) {
  std::vector<uint16_t> ids;
  for (const Shown& e : EventsOf(platform)) ids.push_back(e.id);
  return ids;
}

std::vector<Shown> Only(const VirtualPlatform& platform, EventKind kind) {
  std::vector<Shown> found;
  for (const Shown& e : EventsOf(platform)) {
    if (e.id != kind.id) continue;
    EXPECT_EQ(e.type, kind.type) << "event " << e.id;
    found.push_back(e);
  }
  return found;
}

using Strings = std::vector<std::string>;

class EventLog : public PollFixture {};

// Start and end: the version as on the About page, the build, the library's
// state and folder; the warning about the right once; the end once.
TEST_F(EventLog, AStartNamesVersionBuildAndLibraryAndAnEndFollowsIt) {
  struct Case {
    const char* name;
    bool library;
    const char* without;  // an export left out
    bool right;
    const char* state;
    const char* folder;
  } cases[] = {
      {"found", true, nullptr, true, "found", "C:\\Program Files\\Horavia"},
      {"an entry point missing", true, "_GetStatus", true, "incomplete",
       "C:\\Program Files\\Horavia"},
      {"no library", false, nullptr, true, "not found", ""},
      {"without the right to set the clock", true, nullptr, false, "found",
       "C:\\Program Files\\Horavia"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    WriteSettings(fresh, "[TNA]\r\nFirstRun=0\r\n");
    if (c.library) {
      std::vector<VirtualPlatform::Export> exports;
      for (const sim::InProcessExport& e :
           c.without ? sim::InProcessExportsWithout(c.without) : sim::InProcessExports())
        exports.push_back({e.name, e.proc});
      fresh.RegisterLibrary("Tempiva", exports);
    }
    if (!c.right) fresh.adjustPrivilegeLastError = kErrorNotAllAssigned;
    InitializeUnits();
    TApplication a;
    ASSERT_TRUE(a.Start());
    fresh.RunFor(3000);
    const std::string version = a.FormMain->LabelVersion.Text().substr(8);  // after "Version "
    const std::string build = sizeof(void*) == 8 ? "x64" : "x86";
    ASSERT_EQ(Only(fresh, ev::Started).size(), 1u);
    EXPECT_EQ(Only(fresh, ev::Started)[0].strings, (Strings{version, build, c.state, c.folder}));
    EXPECT_EQ(Only(fresh, ev::NoPrivilege).size(), c.right ? 0u : 1u);
    a.FormMain->SpeedButtonTerminate.UserClick();
    const std::vector<uint16_t> ids = Ids(fresh);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.front(), ev::Started.id);
    EXPECT_EQ(ids.back(), ev::Ended.id);
    EXPECT_EQ(Only(fresh, ev::Ended).size(), 1u);
    EXPECT_EQ(Only(fresh, ev::Ended)[0].strings, Strings{version});
  }
  InstallPlatform(&os);
}

// Settings of the clock and their refusals, driven record by record on a
// program without a library; the monotonic time runs along with the PC clock.
TEST_F(EventLog, SettingsNameTimeReferenceCorrectionAndRuleAndEachRefusalComesOnceAnHour) {
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  auto rules = [&](int startup, int hourly, const char* required, int reference) {
    f.RadioGroupStartup.SetItemIndex(startup);
    f.RadioGroupPeriodical.SetItemIndex(hourly);
    f.SpinEditQuality.SetText(required);
    f.ComboBoxRef.SetItemIndex(reference);
  };

  // The start-up rule in CE(S)T, the PC clock 1.234 s behind the time set
  // (12:00:01.100).
  rules(1, 0, "1", 2);
  os.SetNow(At(2026, 12, 8, 12, 0, 1) + (100 - 1234 + 0.5) * kOneMs);
  f.SyncPCTime(Received(At(2026, 12, 8, 12, 0, 1), kDCFWinter), 9);
  ASSERT_EQ(os.setLocalTimeCalls.size(), 1u);
  ASSERT_EQ(Only(os, ev::ClockSet).size(), 1u);
  EXPECT_EQ(Only(os, ev::ClockSet)[0].strings,
            (Strings{"2026-12-08 12:00:01.100", "CE(S)T", "+1.234", "start-up"}));

  // The hourly rule in UTC from summer time, the PC clock 50 ms ahead of it.
  f.FLastSetTime = kFallbackDateTime;
  rules(0, 1, "1", 0);
  const TDateTime received = At(2026, 7, 1, 13, 0, 1);
  os.SetNow(received - 2 * kOneHour + 150.5 * kOneMs);
  f.SyncPCTime(Received(received, kDCFSummer), 9);
  ASSERT_EQ(Only(os, ev::ClockSet).size(), 2u);
  EXPECT_EQ(Only(os, ev::ClockSet)[1].strings,
            (Strings{"2026-07-01 11:00:01.100", "UTC", "-0.050", "hourly"}));

  // Refusals, each kind once an hour: a record at second 1 of every minute
  // for 61 minutes under the start-up rule.
  struct Case {
    const char* name;
    std::function<void()> arrange;
    double pcMinusReceivedMinutes;
    Strings strings;  // reason, received time, system error
  } cases[] = {
      {"deviation bound", [] {}, 75, {"deviation bound", "2026-12-08 14:00:01", "0"}},
      {"refused by the system",
       [&] { os.setLocalTimeResult = false; },
       0,
       {"no right", "2026-12-08 14:00:01", "1314"}},
      {"another system error",
       [&] {
         os.setLocalTimeResult = false;
         os.setLocalTimeError = 1450;
       },
       0,
       {"system error", "2026-12-08 14:00:01", "1450"}},
      // Three minutes required; a minute missing every other minute.
      {"plausibility",
       [&] { rules(1, 0, "3", 2); },
       0,
       {"plausibility", "2026-12-08 14:04:01", "0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    os.events.clear();
    os.setLocalTimeResult = true;
    os.setLocalTimeError = 1314;
    rules(1, 0, "1", 2);
    c.arrange();
    const TDateTime start = At(2026, 12, 8, 14, 0, 1);
    for (int minute = 0; minute <= 65; ++minute) {
      const TDateTime at = start + minute * kOneMinute * (c.strings[0] == "plausibility" ? 2 : 1);
      os.SetNow(at + c.pcMinusReceivedMinutes * kOneMinute + 150.5 * kOneMs);
      f.FLastSetTime = kFallbackDateTime;
      f.SyncPCTime(Received(at, kDCFWinter), 9);
      os.RunFor(60000);
    }
    const std::vector<Shown> refused = Only(os, ev::SettingRefused);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].strings, c.strings);
    EXPECT_GE(refused[1].atUs - refused[0].atUs, 3600LL * 1000000);
  }

  // Without the right the system is not asked.
  f.SpinEditQuality.SetText("1");
  os.events.clear();
  os.adjustPrivilegeLastError = kErrorNotAllAssigned;
  InitializeUnits();
  os.SetNow(At(2026, 12, 8, 16, 0, 1) + 150 * kOneMs);
  f.SyncPCTime(Received(At(2026, 12, 8, 16, 0, 1), kDCFWinter), 9);
  ASSERT_EQ(Only(os, ev::SettingRefused).size(), 1u);
  EXPECT_EQ(Only(os, ev::SettingRefused)[0].strings,
            (Strings{"no right", "2026-12-08 16:00:01", "0"}));
}

// A receiver plugged in and out every five seconds, and a library that
// faults in every read: each kind at most once a minute.
TEST_F(EventLog, AFlappingReceiverAndAFaultingLibraryAreToldOnceAMinute) {
  std::string installed = "installed = ";
  for (int s = 0; s < 200; s += 5)
    installed += std::to_string(s / 5 % 2 ? 0 : 1) + "@" + std::to_string(s * 1000) + ",";
  installed.pop_back();
  struct Case {
    const char* scenario;
    std::vector<EventKind> kinds;
  } cases[] = {
      {installed.c_str(), {ev::ReceiverFound, ev::ReceiverLost}},
      {"fault = _GetTimeData@5", {ev::ReceiverFound, ev::ReceiverLost, ev::LibraryFault}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    app.reset();
    os.DestroyWindows();
    os.events.clear();
    os.mutexes.clear();
    Start(c.scenario);
    const int64_t begin = os.TickUs();
    os.RunFor(150000);
    for (const EventKind& kind : c.kinds) {
      SCOPED_TRACE(kind.id);
      const std::vector<Shown> told = Only(os, kind);
      // One in each of the three minutes that began.
      ASSERT_EQ(told.size(), 3u);
      EXPECT_LT(told[0].atUs - begin, 15000000);
      for (size_t i = 1; i < told.size(); ++i) {
        EXPECT_GE(told[i].atUs - told[i - 1].atUs, 60000000);
        EXPECT_LT(told[i].atUs - told[i - 1].atUs, 75000000);
      }
    }
    if (c.kinds.size() == 3) {
      EXPECT_EQ(Only(os, ev::LibraryFault)[0].strings[0], "0x00000000");
      EXPECT_FALSE(Only(os, ev::LibraryFault)[0].strings[1].empty());
    }
  }
}

TEST(EventLogFormat, CorrectionsAreSignedSecondsWithMilliseconds) {
  const std::pair<int64_t, const char*> cases[] = {
      {1234, "+1.234"}, {-50, "-0.050"}, {0, "+0.000"}, {-3599999, "-3599.999"}, {7, "+0.007"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatCorrection(ms), text) << ms;
}

}  // namespace
}  // namespace hv::test
