// The poll cycle: the device session through plug, unplug, suspend and
// resume, the library's calling order, the readiness check, the nesting of
// ticks in each other's waits, and ending the program during a wait.
#include <algorithm>
#include <cstdio>

#include "config/UnitConfig.h"
#include "desktop/TBProcs.h"
#include "tests/core/PollFixture.h"

namespace hv::test {
namespace {

using PollCycle = PollFixture;

const char kOpened[] = "Radio clock device opened";
const char kNotOpened[] = "Radio clock not opened! (connected?)";

TEST_F(PollCycle, WithoutTheLibraryTheTimePageFollowsThePCClockAndNothingIsCalled) {
  ASSERT_TRUE(StartProgram());  // no Tempiva registered
  Main().Show();
  std::vector<std::string> shown;
  os.RunFor(250);  // after the first tick
  for (int i = 0; i < 40; ++i) {
    os.RunFor(100);
    const std::string time = Main().LabelTime.Text();
    // The second of the last tick: at most one tick (203 ms) behind the clock.
    SystemTime tickAgo = os.GetLocalTime();
    tickAgo.wSecond =
        static_cast<uint16_t>(tickAgo.wMilliseconds < 210 ? tickAgo.wSecond - 1 : tickAgo.wSecond);
    EXPECT_TRUE(time == os.FormatLongTime(os.GetLocalTime()) || time == os.FormatLongTime(tickAgo))
        << time;
    if (shown.empty() || shown.back() != time) shown.push_back(time);
  }
  EXPECT_EQ(shown,
            (std::vector<std::string>{"12:00:00", "12:00:01", "12:00:02", "12:00:03", "12:00:04"}));
  EXPECT_EQ(Main().LabelDOW.Text(), "Tuesday");
  EXPECT_EQ(Main().LabelDate.Text(), "08.12.2026");
  EXPECT_EQ(Main().PanelStatus.Text(), "n/a");
  EXPECT_EQ(Main().PanelBattery.Text(), "n/a");
  EXPECT_EQ(Main().PanelLastUpdate.Text(), "never");
  EXPECT_EQ(Main().PanelMsg.Text(), "Error: Library Tempiva.dll not found!");
  // A suspend without the library changes only the session's flags.
  intptr_t result = 0;
  ASSERT_TRUE(Main().DispatchMessage(kWmPowerBroadcast, 4, 0, result));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(Main().FSuspended);
  EXPECT_EQ(os.procCalls, 0);
}

TEST_F(PollCycle, SessionFollowsPlugUnplugReplugSuspendAndResume) {
  // The receiver's clock runs two hours ahead of the PC's, so that what the
  // Time page shows tells where it came from.
  Start("installed = 0@0, 1@3000, 0@9000, 1@12000\noffset_ms = 7200000");
  Main().Show();
  os.RunFor(2900);
  EXPECT_EQ(Main().PanelMsg.Text(), "Hint: No radio clock device installed!");
  EXPECT_EQ(Count("_Open"), 0);
  EXPECT_GE(Count("_NumInstalled"), 14);  // every tick, and once at start
  EXPECT_EQ(Main().LabelTime.Text(), "12:00:02");

  os.RunFor(1100);  // plugged in at 3 s: opened within one second
  EXPECT_EQ(Main().PanelMsg.Text(), kOpened);
  EXPECT_EQ(Count("_Open"), 1);
  os.RunFor(2000);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);
  EXPECT_EQ(Main().LabelTime.Text().substr(0, 6), "14:00:");
  EXPECT_EQ(Main().PanelStatus.Text(), "time available");
  EXPECT_EQ(Main().PanelSeason.Text(), "normal time");
  EXPECT_EQ(Main().PanelDCFQuality.Text(), "60");
  EXPECT_EQ(Main().PanelBattery.Text(), "3.01V");
  EXPECT_EQ(Main().Image1.Picture(), "STATE2");
  EXPECT_EQ(Main().FTraySource, 2);

  os.RunFor(3400);  // unplugged at 9 s
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  EXPECT_EQ(Main().PanelMsg.Text(), kNotOpened);
  EXPECT_EQ(Main().LabelTime.Text(), "12:00:09");
  EXPECT_EQ(Main().Image1.Picture(), "STATE0");
  EXPECT_EQ(Main().FTraySource, 0);
  EXPECT_EQ(Count("_Close"), 1);  // the second -1 of the status check

  os.RunFor(2600);
  EXPECT_EQ(Count("_Open"), 1) << "nothing to open while unplugged";
  os.RunFor(1100);  // replugged at 12 s
  EXPECT_EQ(Main().PanelMsg.Text(), kOpened);

  os.RunFor(2000);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);

  intptr_t result = 0;
  ASSERT_TRUE(Main().DispatchMessage(kWmPowerBroadcast, 4, 0, result));  // suspend
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  EXPECT_EQ(Count("_Close"), 2);
  const size_t suspended = calls.size();
  os.RunFor(3000);
  EXPECT_EQ(calls.size(), suspended) << "no library call between suspend and resume";
  ASSERT_TRUE(Main().DispatchMessage(kWmPowerBroadcast, 7, 0, result));  // resume
  EXPECT_EQ(result, 1);
  EXPECT_EQ(calls.size(), suspended) << "resume itself calls nothing";
  os.RunFor(1100);
  EXPECT_EQ(Main().PanelMsg.Text(), kOpened);
  os.RunFor(2000);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);
}

// Each row is one broadcast, in order, and the second that follows it: a
// suspended receiver is left alone until a resume of any kind, and then the
// poll cycle opens it again (the automatic resume comes alone after a wake
// timer or a network wake). The critical resume comes without a suspend
// before it: the session open until then is closed before it is reopened.
TEST_F(PollCycle, PowerBroadcastAnswersByEventCode) {
  Start();
  os.RunFor(1100);
  ASSERT_EQ(Count("_Open"), 1);
  const struct {
    uintptr_t event;
    intptr_t result;
    bool closes;
    bool suspended;
    bool reopened;
  } cases[] = {
      {0, 1, false, false, false}, {1, 1, false, false, false}, {2, 0, false, false, false},
      {3, 0, false, false, false}, {9, 0, false, false, false}, {10, 0, false, false, false},
      {5, 1, true, true, false},   {3, 0, false, true, false},  {8, 1, false, false, true},
      {4, 1, true, true, false},   {10, 0, false, true, false}, {18, 1, false, false, true},
      {4, 1, true, true, false},   {6, 1, false, false, true},  {5, 1, true, true, false},
      {7, 1, false, false, true},  {6, 1, true, false, true},   {18, 1, false, false, false}};
  for (const auto& c : cases) {
    const int closes = Count("_Close");
    intptr_t result = -1;
    ASSERT_TRUE(Main().DispatchMessage(kWmPowerBroadcast, c.event, 0, result));
    EXPECT_EQ(result, c.result) << "event " << c.event;
    EXPECT_EQ(Main().FSuspended, c.suspended) << "event " << c.event;
    EXPECT_EQ(Count("_Close") - closes, c.closes ? 1 : 0) << "event " << c.event;
    const size_t before = calls.size();
    const int opens = Count("_Open");
    os.RunFor(1100);
    EXPECT_EQ(Count("_Open") - opens, c.reopened ? 1 : 0) << "event " << c.event;
    EXPECT_EQ(Main().FSessionState != SessionState::Closed, !c.suspended) << "event " << c.event;
    if (c.suspended) {
      EXPECT_EQ(calls.size(), before) << "no library call while suspended, event " << c.event;
    }
    if (c.reopened) {
      EXPECT_EQ(Main().PanelMsg.Text(), kOpened) << "event " << c.event;
    }
  }
}

// Another session's Horavia holds the receiver (each session has its own
// instance): every open fails here. The message line says so, the open is
// tried again once a second, and the user is never interrupted for it.
TEST_F(PollCycle, AReceiverHeldByAnotherSessionIsRetriedQuietly) {
  Start("open_fails = always");
  os.RunFor(600000);
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  EXPECT_EQ(Main().PanelMsg.Text(), kNotOpened);
  EXPECT_EQ(LastTrayTip(), "No Radio Clock Time available");
  EXPECT_GE(Count("_Open"), 590);
  EXPECT_LE(Count("_Open"), 601);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_TRUE(os.beeps.empty());
  EXPECT_TRUE(os.flashedForms.empty());
}

// The library's calling order, checked on the receiver's own log over ten
// minutes with an unplugged stretch, the window hidden and then shown.
TEST_F(PollCycle, CallsTheLibraryInItsOrderOnly) {
  Start("installed = 1@0, 0@60000, 1@65000");
  os.RunFor(180000);
  const size_t hiddenCalls = calls.size();
  Main().Show();
  os.RunFor(420000);

  const std::vector<std::string> neverCalled = {
      "_GetFileversion", "_GetInstalled",   "_GetManufacturer", "_GetProduct",
      "_GetSN_EEPROM",   "_SetSN_EEPROM",   "_SetCfg",          "_MeasureBatteryVoltage",
      "_GetDeviceInfo",  "_GetSerialNumber"};
  for (const std::string& entry : neverCalled) EXPECT_EQ(Count(entry), 0) << entry;
  EXPECT_EQ(Count("_GetDCFStatus", 0) - Count("_GetDCFStatus", hiddenCalls), 0)
      << "the reception state is read only for a shown window";

  int64_t lastOpen = -1000000;
  int timeRecords = 0;
  for (size_t i = 1; i < calls.size(); ++i) {
    const LibraryCall& c = calls[i];
    const LibraryCall& before = calls[i - 1];
    const std::string where = "call " + std::to_string(i) + " " + c.entry;
    if (c.entry == "_Open") {
      EXPECT_TRUE(before.entry == "_NumInstalled" && before.result > 0) << where;
      EXPECT_GE(c.atMs - lastOpen, 990) << where;
      lastOpen = c.atMs;
    } else if (c.entry == "_TimeChanged") {
      EXPECT_TRUE(before.entry == "_GetStatus" && before.result == 1) << where;
      EXPECT_GE(c.atUs - before.atUs, 2000) << where << ": the wait after the status poll";
    } else if (c.entry == "_GetTimeData") {
      EXPECT_TRUE((before.entry == "_TimeChanged" && before.result == 1) ||
                  (before.entry == "_GetStatus" && before.result == 1))
          << where;
      EXPECT_GE(c.atUs - before.atUs, 2000) << where << ": read 2 ms after the new second";
      timeRecords += before.entry == "_TimeChanged";
    } else if (c.entry == "_GetDCFQuality") {
      EXPECT_EQ(before.entry, "_GetTimeData") << where;
      EXPECT_GE(c.atUs - before.atUs, 2000) << where;
      if (const LibraryCall* next = NextInTick(i)) {
        EXPECT_GE(next->atUs - c.atUs, 2000) << where;
      }
    } else if (c.entry == "_GetBatteryVoltage") {
      EXPECT_TRUE(before.entry == "_GetCfg" ||
                  (before.entry == "_GetBatteryVoltage" && before.result < 0))
          << where;
    } else if (c.entry == "_Close") {
      EXPECT_TRUE(before.entry == "_GetStatus" && before.result == -1) << where;
    }
  }
  EXPECT_EQ(Count("_Close"), 1);  // the unplugging only
  // Every second of the receiver is read, but for those of the unplugged
  // stretch and the reopening.
  EXPECT_GE(timeRecords, 600 - 10);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);
}

TEST_F(PollCycle, DeviceReadyPollsUpToTwentyTimesWithTwoErrorsAllowed) {
  const struct {
    std::vector<int32_t> status;
    bool ready;
    int polls;
    int closes;
  } cases[] = {
      {{1}, true, 1, 0},
      {{0, 0, 1}, true, 3, 0},
      {{-1, 1}, true, 2, 0},
      {{-1, 0, -1}, false, 3, 1},
      {{-1, -1}, false, 2, 1},
      {{0}, false, 20, 0},
      {{-1, 0}, false, 20, 0},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, true, 20, 0},
      {{7, 2, -5, 1}, true, 4, 0},  // anything but 1 and -1 is "not ready yet"
  };
  Start();
  Main().Timer3.SetEnabled(false);  // the readiness check alone
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.status));
    ASSERT_TRUE(_Open());
    // The receiver answers its status calls in order, from the first call on.
    std::vector<int32_t> answers(static_cast<size_t>(Count("_GetStatus")), 1);
    answers.insert(answers.end(), c.status.begin(), c.status.end());
    receiver->mutable_scenario().status = sim::Sequence{answers};
    const size_t from = calls.size();
    const int64_t begin = os.TickUs();
    EXPECT_EQ(Main().DeviceReady(), c.ready);
    EXPECT_EQ(Count("_GetStatus", from), c.polls);
    EXPECT_EQ(Count("_Close", from), c.closes);
    EXPECT_GE(os.TickUs() - begin, c.polls * 2000) << "a wait after every poll";
  }
  // A status poll that fails outright (its second here) is the error case.
  receiver->mutable_scenario().status = sim::Sequence{{0}};
  receiver->mutable_scenario().faults = {{"_GetStatus", 2}};
  const size_t from = calls.size();
  EXPECT_FALSE(Main().DeviceReady());
  EXPECT_EQ(Count("_GetStatus", from), 2);
  EXPECT_EQ(Count("_Close", from), 1);
}

// A tick arrives in the quality wait of a record's processing and reads the
// receiver's next second: its processing finds the guard set, only clears
// it, and the outer one completes. A page change in the same wait is
// handled at once. A failure that leaves a processing midway leaves the
// guard set: the next guarded call, the PC clock's, only clears it.
TEST_F(PollCycle, NestedCallsInsideAWaitOnlyClearTheBusyGuard) {
  bool inside = false, busyInside = false;
  int pageInside = -1;
  onCall = [&](const LibraryCall& call, const std::string&) {
    // The first record of Running reads the quality forgotten in Opened.
    if (inside || call.entry != "_GetTimeData" || Main().FSessionState != SessionState::Running)
      return;
    inside = true;
    os.Post([&] {
      busyInside = Main().FBusy;
      Main().TabbedNotebook1.UserSelectPage(kInfoPageIndex);
      pageInside = Main().TabbedNotebook1.ActivePageIndex();
      receiver->mutable_scenario().offset_ms += 1000;  // the receiver's next second
      Main().DispatchTimer(kTimer3);                   // a tick, nested
    });
  };
  Start();
  os.SetPCClock(os.TrueNow() + 30 * kOneMinute);  // the PC clock is not the receiver's
  Main().Show();
  os.RunFor(2500);
  ASSERT_TRUE(inside);
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(pageInside, kInfoPageIndex);
  EXPECT_FALSE(Main().FBusy);
  std::vector<int> recordDepths;
  for (const LibraryCall& call : calls)
    if (call.entry == "_GetTimeData") recordDepths.push_back(call.depth);
  EXPECT_EQ(recordDepths, (std::vector<int>{1, 1, 2}))
      << "the Opened probe, the outer record, the nested one";
  EXPECT_EQ(Count("_GetDCFQuality"), 1) << "the outer processing completed, the nested one not";
  const std::string outerTime = Main().LabelTime.Text();
  EXPECT_EQ(outerTime.substr(0, 5), "12:00") << "the receiver's time, not the PC clock's";
  EXPECT_EQ(Main().PanelDCFQuality.Text(), "60");
  EXPECT_EQ(Main().PanelFirmware.Text(), " Version 02.10  Built 5") << "the page change's request";

  // The next record fails midway, in its quality read: Closed, guard set.
  Main().FQuality = -1;
  receiver->mutable_scenario().faults = {{"_GetDCFQuality", 1}};
  int closedTicks = 0;
  std::string shownAtSecondClosedTick;
  onCall = [&](const LibraryCall& call, const std::string&) {
    if (call.entry == "_NumInstalled" && ++closedTicks == 2)
      shownAtSecondClosedTick = Main().LabelTime.Text() + (Main().FBusy ? " busy" : "");
  };
  os.RunFor(1000);
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  EXPECT_EQ(shownAtSecondClosedTick.substr(0, 5), "12:00")
      << "the first PC-clock refresh only cleared the guard";
  EXPECT_EQ(shownAtSecondClosedTick.find("busy"), std::string::npos);
  os.RunFor(1000);
  EXPECT_EQ(Main().LabelTime.Text().substr(0, 5), "12:30") << "the next one ran";
}

// A record that finds the guard left set (by a processing that failed
// midway) shows nothing and only clears it; the next one is shown.
TEST_F(PollCycle, ARecordThatFindsTheBusyGuardSetOnlyClearsIt) {
  Start();
  Main().LabelTime.SetText("-");
  Main().FBusy = true;
  Main().ProcessTimeData(TimeData{});  // invalid: it would show dashes
  EXPECT_FALSE(Main().FBusy);
  EXPECT_EQ(Main().LabelTime.Text(), "-");
  Main().ProcessTimeData(TimeData{});
  EXPECT_EQ(Main().LabelTime.Text(), "--:--:--");
}

// The window hidden, as it normally is: an open that fails, the next one
// five ticks later, a fall-back that takes the tray back to no radio time,
// and the quality read afresh with the first record after reopening.
TEST_F(PollCycle, AHiddenSessionOpensFallsBackAndReopens) {
  Start("open_fails = 2\ninstalled = 1@0, 0@20000, 1@25000");
  Main().PanelMsg.SetText("-");
  os.RunFor(250);  // the first tick
  EXPECT_EQ(Count("_Open"), 1);
  EXPECT_EQ(Main().PanelMsg.Text(), kNotOpened);
  os.RunFor(3000);
  EXPECT_EQ(Main().PanelMsg.Text(), kOpened);
  std::vector<size_t> opens;
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].entry == "_Open") opens.push_back(i);
  ASSERT_EQ(opens.size(), 3u);
  for (size_t k = 1; k < opens.size(); ++k) {
    int ticks = 0;  // each tick asks _NumInstalled once
    for (size_t i = opens[k - 1] + 1; i < opens[k]; ++i) ticks += calls[i].entry == "_NumInstalled";
    EXPECT_EQ(ticks, 5) << "open " << k;
  }
  os.RunFor(2000);
  ASSERT_EQ(Main().FSessionState, SessionState::Running);
  EXPECT_EQ(LastTrayTip(), "DCF77 Time");

  os.RunFor(20000 - receiver->ElapsedMs() + 1500);  // unplugged at 20 s
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  EXPECT_EQ(LastTrayTip(), "No Radio Clock Time available");
  EXPECT_EQ(Main().FTraySource, 0);

  const size_t unplugged = calls.size();
  os.RunFor(8000);  // replugged at 25 s
  ASSERT_EQ(Main().FSessionState, SessionState::Running);
  EXPECT_EQ(LastTrayTip(), "DCF77 Time");
  // The first record read in Running, at a second other than 0, reads the
  // quality that the fall-back forgot.
  size_t first = unplugged;
  while (first + 1 < calls.size() &&
         !(calls[first].entry == "_TimeChanged" && calls[first].result == 1))
    ++first;
  ASSERT_EQ(calls[first + 1].entry, "_GetTimeData");
  EXPECT_NE(calls[first + 1].atMs / 1000 % 60, 0);
  ASSERT_NE(NextInTick(first + 1), nullptr);
  EXPECT_EQ(NextInTick(first + 1)->entry, "_GetDCFQuality");
  EXPECT_TRUE(os.boxes.empty());
}

// In Opened the records do not flow yet (here: they hold no time); the Time
// page follows the PC clock once per PC second, with the reception state
// the library reports.
TEST_F(PollCycle, InOpenedTheTimePageFollowsThePCClockOncePerSecond) {
  Start("time_data = 26 12 08 12 00 00 02 00\nreception = 2");
  os.SetPCClock(os.TrueNow() + 30 * kOneMinute);  // the PC clock is not the receiver's
  Main().Show();
  os.RunFor(2000);
  ASSERT_EQ(Main().FSessionState, SessionState::Opened);
  const size_t from = calls.size();
  std::vector<std::string> shown;
  for (int i = 0; i < 100; ++i) {
    os.RunFor(100);
    if (shown.empty() || shown.back() != Main().LabelTime.Text())
      shown.push_back(Main().LabelTime.Text());
  }
  EXPECT_EQ(Main().FSessionState, SessionState::Opened);
  EXPECT_EQ(shown.size(), 10u);
  EXPECT_EQ(shown.front().substr(0, 5), "12:30");
  EXPECT_EQ(Count("_GetDCFStatus", from), 10) << "once per PC second, not on every tick";
  EXPECT_EQ(Main().PanelStatus.Text(), "data evaluation");
  EXPECT_EQ(Main().Image1.Picture(), "STATE0");
  EXPECT_EQ(Main().PanelBattery.Text(), "3.01V");
}

// A suspend handled in a wait of the Opened probe: the library is closed,
// and the probe still reads its record after the close, as written; the
// session stays closed, suspended, until the resume.
TEST_F(PollCycle, ASuspendDuringTheProbeKeepsTheSessionClosed) {
  bool posted = false;
  onCall = [&](const LibraryCall& call, const std::string&) {
    if (posted || call.entry != "_GetStatus" || Main().FSessionState != SessionState::Opened)
      return;
    posted = true;
    os.Post([&] {
      intptr_t result = 0;
      Main().DispatchMessage(kWmPowerBroadcast, 4, 0, result);
      // This library still hands out records after _Close.
      uint8_t name[256] = {};
      receiver->Open(name);
    });
  };
  Start();
  os.RunFor(1300);
  ASSERT_TRUE(posted);
  // After the close (and the test's reopening), the probe's own read.
  std::vector<std::string> afterClose;
  for (size_t i = 0; i + 2 < calls.size(); ++i)
    if (calls[i].entry == "_Close") afterClose = {calls[i + 1].entry, calls[i + 2].entry};
  EXPECT_EQ(afterClose, (std::vector<std::string>{"_Open", "_GetTimeData"}));
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  EXPECT_TRUE(Main().FSuspended);
  const int opens = Count("_Open");
  os.RunFor(3000);
  EXPECT_EQ(Count("_Open"), opens);
  EXPECT_EQ(Main().FSessionState, SessionState::Closed);
  intptr_t result = 0;
  Main().DispatchMessage(kWmPowerBroadcast, 7, 0, result);
  os.RunFor(3000);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);
}

// A failure in the session's work or in the Info page's refresh closes the
// session; the tick goes on with the Info refresh and its counter.
TEST_F(PollCycle, AFailureInATickClosesTheSessionAndTheTickGoesOn) {
  const struct {
    const char* entry;
    const char* firmware;  // PanelFirmware after the tick
  } cases[] = {
      {"_GetDeviceInfo", ""},    // the refresh itself, which shows nothing then
      {"_TimeChanged", " n/a"},  // the session's work: the refresh finds it closed
  };
  Start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    receiver->mutable_scenario().faults.clear();
    os.RunFor(3000);
    ASSERT_EQ(Main().FSessionState, SessionState::Running);
    receiver->mutable_scenario().faults = {{c.entry, 1}};
    Main().FInfoRequest = true;
    Main().PanelMsg.SetText("-");
    const int tick = Main().FTick;
    os.RunFor((os.TimerDueUs(Main(), kTimer3) - os.TickUs()) / 1000 + 1);  // one tick
    EXPECT_EQ(Main().FSessionState, SessionState::Closed);
    EXPECT_EQ(Main().PanelMsg.Text(), kNotOpened);
    EXPECT_FALSE(Main().FInfoRequest);
    EXPECT_EQ(Main().PanelFirmware.Text(), c.firmware);
    EXPECT_EQ(Main().FTick, (tick + 1) % kTicksPerSecond);
    EXPECT_TRUE(os.boxes.empty());
  }
}

// A setting that ends the program (terminate ticked, window hidden) ends
// its tick there: no library call, no panel and no tray change after it.
TEST_F(PollCycle, ASettingThatEndsTheProgramEndsItsTick) {
  WriteSettings(os, "[TNA]\r\nFirstRun=0\r\nStartupUpdate=1\r\nTerminate=1\r\nDCFQuality=1\r\n");
  int callsAfterSetting = 0;
  onCall = [&](const LibraryCall&, const std::string&) {
    callsAfterSetting += !os.setLocalTimeCalls.empty();
  };
  Start();
  os.RunFor(70000);  // the first second 1 in Running is 12:01:01
  ASSERT_TRUE(os.Terminated());
  EXPECT_EQ(os.setLocalTimeCalls.size(), 1u);
  EXPECT_EQ(callsAfterSetting, 0);
  EXPECT_EQ(Main().PanelLastUpdate.Text(), "never") << "the panel keeps what it showed";
  EXPECT_EQ(os.trayCalls.back().operation, kNimDelete);
  EXPECT_NE(SettingsFile().find("LastUpdate="), std::string::npos);
}

// A library that faults in every read from the fifth on: each fault closes the session, which
// reopens a second later; nothing reaches the user but the message line.
TEST_F(PollCycle, AFaultInsideTheLibraryClosesTheSessionOnly) {
  Start("fault = _GetTimeData@5");
  Main().Show();
  os.RunFor(60000);
  EXPECT_TRUE(Main().PanelMsg.Text() == kNotOpened || Main().PanelMsg.Text() == kOpened);
  EXPECT_GE(Count("_Open"), 25);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_NE(Main().FSessionState, SessionState::Running);
  EXPECT_EQ(Main().Image1.Picture(), "STATE0") << "the Time page follows the PC clock";
}

// The whole chain from the receiver to the system clock, over an hour and a quarter: the
// start-up rule with two minutes required, the hourly rule, the ten-minute spacing.
TEST_F(PollCycle, SetsTheClockFromTheReceiverUnderTheRules) {
  WriteSettings(os,
                "[TNA]\r\nFirstRun=0\r\nStartupUpdate=1\r\nPeriodicalUpdate=1\r\n"
                "DCFQuality=2\r\nTimeRef=2\r\n");
  os.SetNow(*TryEncodeDate(2026, 12, 8) + *TryEncodeTime(11, 58, 30, 0));
  Start();
  os.RunFor(75 * 60000);
  std::vector<std::string> settings;
  for (const auto& call : os.setLocalTimeCalls) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", call.time.wHour, call.time.wMinute,
                  call.time.wSecond, call.time.wMilliseconds);
    settings.push_back(text);
  }
  // 11:59:01 is the first minute the filter sees, 12:00:01 the second: the start-up rule sets.
  // Every record of minute 0 arms it again; the spacing holds it back until 12:11:01. At
  // 13:00:01 both rules qualify: one setting.
  EXPECT_EQ(settings, (std::vector<std::string>{"12:00:01.100", "12:11:01.100", "13:00:01.100",
                                                "13:11:01.100"}));
  EXPECT_EQ(Main().PanelMsg.Text(), "PC time adjusted.");
  EXPECT_EQ(Main().PanelLastUpdate.Text(), "08.12.2026 13:11:01");
  EXPECT_EQ(Main().LabelDebug_Status.Text(), "2|1");
  EXPECT_FALSE(Main().FPeriodicPending);
}

// A receiver that answers "not ready yet" for an hour keeps every status
// check 20 waits long, longer than a tick: ticks nest in each other's waits.
TEST_F(PollCycle, AReceiverThatNeverGetsReadyLeavesTheProgramAnswering) {
  int maxDepth = 0;
  uintptr_t lowestStack = UINTPTR_MAX;
  onCall = [&](const LibraryCall& call, const std::string&) {
    int local = 0;
    maxDepth = std::max(maxDepth, call.depth);
    lowestStack = std::min(lowestStack, reinterpret_cast<uintptr_t>(&local));
  };
  Start("status = 0");
  int top = 0;
  const auto topOfStack = reinterpret_cast<uintptr_t>(&top);

  os.RunFor(1800 * 1000);
  intptr_t result = 0;
  os.Post([&] { Main().DispatchMessage(kWmTrayIcon, 0, kWmLButtonUp, result); });
  os.RunFor(50);
  EXPECT_TRUE(Main().Visible()) << "the tray icon is answered at once";
  os.RunFor(1800 * 1000);

  EXPECT_EQ(maxDepth, 2) << "ticks nest, one in the other's wait, no deeper";
  EXPECT_LT(topOfStack - lowestStack, 256u * 1024) << "stack used by the nesting";
  EXPECT_GT(calls.size(), 3600u * 20);
  // Every status poll is followed by a wait of its own 2 ms before its tick
  // goes on, also a wait that began inside another one's.
  int waits = 0, nestedWaits = 0;
  int64_t shortest = INT64_MAX;
  for (size_t i = 0; i < calls.size(); ++i) {
    const LibraryCall* next = calls[i].entry == "_GetStatus" ? NextInTick(i) : nullptr;
    if (!next) continue;
    ++waits;
    nestedWaits += calls[i].depth == 2;
    shortest = std::min(shortest, next->atUs - calls[i].atUs);
  }
  EXPECT_GT(nestedWaits, 1000);
  EXPECT_GT(waits, 3600 * 15);  // about twenty a second, once a second
  EXPECT_GE(shortest, 2000) << "the shortest wait, microseconds";
  EXPECT_NE(Main().FSessionState, SessionState::Running);
  EXPECT_EQ(Main().PanelMsg.Text(), kNotOpened);
  RecordProperty("stack_bytes", static_cast<int>(topOfStack - lowestStack));

  // Ready at last: the session runs within a few seconds.
  receiver->mutable_scenario().status = sim::Sequence{{1}};
  os.RunFor(3000);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);
  Main().Show();
  os.RunFor(1000);
  EXPECT_EQ(Main().LabelTime.Text().substr(0, 7), "13:00:0");
}

// A wait that begins inside another wait lasts its own time, also when it
// begins just as the outer wait's timer runs out; the outer one ends with it.
TEST_F(PollCycle, AWaitInsideAWaitLastsItsOwnTime) {
  Start();
  Main().Timer3.SetEnabled(false);
  TForm other("other");
  TTimer late(other, 1, 1);
  int64_t innerStart = -1, innerEnd = -1;
  auto innerWait = [&] {
    late.SetEnabled(false);
    innerStart = os.TickUs();
    Main().Delay(2);
    innerEnd = os.TickUs();
  };
  late.OnTimer = innerWait;
  const auto grain = [](int64_t us) { return (us + 15599) / 15600 * 15600; };
  for (bool atTheEnd : {false, true}) {
    SCOPED_TRACE(atTheEnd ? "as the outer timer runs out" : "at once");
    innerStart = innerEnd = -1;
    if (atTheEnd) {
      // A timer of another window due on the same grain as the wait's, and
      // set before it: its tick comes first, with the wait's tick pending.
      while (grain(os.TickUs() + 1000) != grain(os.TickUs() + 2000)) os.RunFor(1);
      late.SetEnabled(true);
    } else {
      os.Post(innerWait);
    }
    const int64_t outerStart = os.TickUs();
    Main().Delay(2);
    const int64_t outerEnd = os.TickUs();
    ASSERT_GE(innerStart, outerStart);
    EXPECT_EQ(innerStart == outerStart, !atTheEnd);
    EXPECT_GE(innerEnd - innerStart, 2000);
    EXPECT_GE(outerEnd - outerStart, 2000);
    EXPECT_EQ(outerEnd, innerEnd);
  }
}

// A message box opened inside a tick's wait runs its own loop for 3 s: the
// poll timer ticks on there, once a period, each tick with its own waits,
// and the tick that waited ends after the box.
TEST_F(PollCycle, TicksGoOnWhileAMessageBoxWaitsInsideATick) {
  Start();
  os.RunFor(3000);
  ASSERT_EQ(Main().FSessionState, SessionState::Running);
  os.boxAnswerDelayMs = 3000;
  int64_t boxShown = -1;
  int64_t boxClosed = -1;
  onCall = [&](const LibraryCall& call, const std::string&) {
    if (boxShown >= 0 || call.entry != "_GetStatus") return;
    boxShown = os.TickUs();
    os.Post([&] {
      Os().MessageBox("a box", "DCF77", MessageBoxKind::Information, MessageBoxButtons::Ok);
      boxClosed = os.TickUs();
    });
  };
  const size_t from = calls.size();
  os.RunFor(5000);
  ASSERT_GE(boxClosed - boxShown, 3000000);
  std::vector<int64_t> ticks;  // the receiver is ready at once: one status poll a tick
  for (size_t i = from; i < calls.size(); ++i) {
    const LibraryCall& c = calls[i];
    if (c.entry == "_GetStatus") ticks.push_back(c.atUs);
    if (c.entry == "_TimeChanged" && c.depth == 1 && c.atUs < boxClosed)
      EXPECT_LT(c.atUs, boxShown) << "a tick went on inside the box it waited for";
  }
  ASSERT_GE(ticks.size(), 2u);
  const int64_t periodUs = (kPollPeriodMs * 1000 + 15599) / 15600 * 15600;  // on the grain
  for (size_t i = 1; i < ticks.size(); ++i)
    EXPECT_EQ(ticks[i] - ticks[i - 1], periodUs) << "tick " << i << " at " << ticks[i];
  EXPECT_GE(static_cast<int64_t>(ticks.size()), 5000000 / periodUs);
  EXPECT_GT(std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end(),
                          [](const LibraryCall& c) { return c.depth == 2; }),
            0)
      << "ticks ran in the box's loop";
}

// The terminate button pressed while a tick waits: the program ends at once,
// writes its settings once and touches nothing after the close.
class EndingDuringAWait : public PollFixture {
 protected:
  // `waitAfter`: the log line after which the tick waits.
  void Run(const std::string& status, const std::string& waitAfter) {
    UseReceiver("status = " + status);
    bool closed = false;
    int callsAfterClose = 0;
    std::string shownAtClose;
    receiver->SetLogSink([&](const std::string& line) {
      if (closed) {
        ++callsAfterClose;
        return;
      }
      if (line.find(waitAfter) != std::string::npos)
        os.Post([&] {
          if (closed) return;
          Main().SpeedButtonTerminate.UserClick();
          closed = true;
          shownAtClose = Main().LabelTime.Text() + "|" + Main().PanelMsg.Text();
        });
    });
    ASSERT_TRUE(StartProgram());
    Main().Show();
    os.RunFor(60000);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(os.Terminated());
    EXPECT_LT(os.TickUs(), 60000000) << "the loop ended";
    // A tick that still arrives (a modal loop of the system's) does nothing.
    const int tick = Main().FTick;
    Main().Timer3Timer();
    EXPECT_EQ(Main().FTick, tick);
    EXPECT_EQ(callsAfterClose, 0);
    EXPECT_EQ(Main().LabelTime.Text() + "|" + Main().PanelMsg.Text(), shownAtClose);
    EXPECT_EQ(std::count_if(os.profileWrites.begin(), os.profileWrites.end(),
                            [](const auto& w) { return w.section.empty(); }),
              2)
        << "one flush after loading, one after the one save";
    EXPECT_NE(SettingsFile().find("FirstRun=0"), std::string::npos);
  }
};

TEST_F(EndingDuringAWait, BeforeTheRecordIsRead) {
  Run("1", "_TimeChanged - -> 1");
}

TEST_F(EndingDuringAWait, InsideTheStatusCheck) {
  Run("0", "_GetStatus - -> 0");
}

}  // namespace
}  // namespace hv::test
