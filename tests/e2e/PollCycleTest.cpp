// End to end: the live receiver in the window and the tray, through plugging, unplugging,
// suspend and resume, a weak battery and a receiver that is slow to get ready.
#include <gtest/gtest.h>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

namespace ctl = hv::ctl;

class PollCycleTest : public HoraviaTest {
 protected:
  // Starts the program in folder `name` with `scenario` and shows its window through the tray
  // icon; its calls are logged in `name`.log.
  HWND StartShown(const std::string& scenario, Dll dll = Dll::kCdecl,
                  const std::string& name = "program") {
    const std::string folder = Folder(name);
    PutProgram(folder, dll);
    WriteFile(Path("scenario.ini"), scenario);
    log_ = Path(name + ".log");
    program_ = &Launch(folder, Path("scenario.ini"), log_);
    HWND window = StartedWindow(*program_);
    probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
    probe::WaitVisible(window, true, "the window after the tray click");
    return window;
  }
  std::string Shown(HWND window, int id) const { return probe::Text(probe::Control(window, id)); }
  void WaitShown(HWND window, int id, const std::string& text, DWORD timeout_ms = 5000) const {
    probe::WaitText(
        probe::Control(window, id), [&](const std::string& t) { return t == text; },
        "\"" + text + "\" in control " + std::to_string(id), timeout_ms);
  }
  // Waits until the Time page shows the receiver's clock, `offset` seconds from the PC's.
  void WaitReceiverTime(HWND window, int offset, DWORD timeout_ms = 5000) const {
    probe::WaitText(
        probe::Control(window, ctl::LabelTime),
        [&](const std::string& t) {
          const int shown = SecondsOfDay(t);
          return shown >= 0 && SecondsApart(shown, NowSecondsOfDay() + offset) <= 1;
        },
        "the receiver's time on the Time page", timeout_ms);
  }
  int Count(const std::string& entry) const {
    int n = 0;
    for (const Call& c : Calls(log_)) n += c.entry == entry;
    return n;
  }
  // Ends the program with its terminate button and checks that it wrote its settings.
  void Terminate(HWND window) {
    DeleteSettings();
    PostClick(probe::Control(window, ctl::SpeedButtonTerminate));
    EXPECT_EQ(program_->WaitExit(probe::kActionTimeoutMs), 0u);
    EXPECT_TRUE(probe::FileExists(SettingsPath()));
  }

  probe::Process* program_ = nullptr;
  std::string log_;
};

TEST_F(PollCycleTest, WithoutTheLibraryTheTimePageFollowsThePCClock) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kNone);
  probe::Process& program = Launch(folder);
  HWND window = StartedWindow(program);
  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  HWND time = probe::Control(window, ctl::LabelTime);
  std::string last = probe::WaitNonEmptyText(time, "the time");
  for (int i = 0; i < 3; ++i) {
    last = probe::WaitText(
        time, [&](const std::string& t) { return t != last; }, "the next second", 1500);
    EXPECT_LE(SecondsApart(SecondsOfDay(last), NowSecondsOfDay()), 1) << last;
  }
  EXPECT_EQ(Shown(window, ctl::PanelStatus), "n/a");
  EXPECT_EQ(Shown(window, ctl::PanelMsg), txt::TxtLibraryNotFound);
}

// The receiver's clock runs 1 h 2 min 3 s ahead of the PC's, so the page tells where its time
// comes from.
TEST_F(PollCycleTest, PluggedInAfterStartUnpluggedAndReplugged) {
  HWND window = StartShown(
      "installed = 0@0, 1@2000, 0@9000, 1@12000\noffset_ms = 3723000\nbattery = 2950\n");
  EXPECT_EQ(Shown(window, ctl::PanelMsg), txt::TxtNoDeviceInstalled);
  WaitShown(window, ctl::PanelMsg, txt::TxtDeviceOpened, 6000);
  WaitReceiverTime(window, 3723);
  EXPECT_EQ(Shown(window, ctl::PanelStatus), "time available");
  EXPECT_EQ(Shown(window, ctl::PanelSeason), "normal time");
  EXPECT_EQ(Shown(window, ctl::PanelBattery), "2.95V");
  WaitShown(window, ctl::PanelDCFQuality, "60");
  EXPECT_EQ(Shown(window, ctl::PanelLastUpdate), "never");

  probe::SelectTab(probe::Control(window, ctl::TabbedNotebook1), 2);
  WaitShown(window, ctl::PanelFirmware, " Version 02.10  Built 5");
  EXPECT_EQ(Shown(window, ctl::PanelType), " no display, with buffered RTC");
  EXPECT_EQ(Shown(window, ctl::PanelSN), " DCF-0001234");
  EXPECT_EQ(Shown(window, ctl::PanelSN_EEPROM), " 4");
  EXPECT_EQ(Shown(window, ctl::PanelMode), " normal");
  EXPECT_EQ(Shown(window, ctl::PanelRTC), " equipped");
  EXPECT_EQ(Shown(window, ctl::PanelMeasure), " supported");
  probe::SelectTab(probe::Control(window, ctl::TabbedNotebook1), 0);

  WaitShown(window, ctl::PanelMsg, txt::TxtNotOpened, 15000);  // unplugged
  WaitReceiverTime(window, 0);                                 // the PC's clock again
  EXPECT_EQ(Shown(window, ctl::PanelStatus), "n/a");
  WaitShown(window, ctl::PanelMsg, txt::TxtDeviceOpened, 8000);  // replugged
  WaitReceiverTime(window, 3723);
  EXPECT_EQ(Count("_Open"), 2);
  Terminate(window);
  EXPECT_EQ(Count("_Close"), 1) << "only the unplugging closes, not the end";
}

TEST_F(PollCycleTest, CrystalTimeAndInvalidRecords) {
  HWND window = StartShown("source = crystal\nreception = 0\noffset_ms = 3723000\n");
  WaitReceiverTime(window, 3723);
  EXPECT_EQ(Shown(window, ctl::PanelSeason), "n/a");
  EXPECT_EQ(Shown(window, ctl::PanelStatus), "no signal");
  Terminate(window);

  // A receiver that lost the time: records without the time flag.
  window = StartShown("time_data = 26 12 08 12 00 05 02 43\n", Dll::kCdecl, "lost");
  WaitShown(window, ctl::PanelMsg, txt::TxtDeviceOpened);
  Sleep(2500);
  EXPECT_EQ(Shown(window, ctl::PanelMsg), txt::TxtDeviceOpened) << "no valid record: stays Opened";
  EXPECT_EQ(Count("_TimeChanged"), 0);
  Terminate(window);

  // One that loses it while running: its records bring dashes to the Time page.
  window = StartShown(
      "offset_ms = 3723000\ntime_data = 26 12 08 12 00 05 02 43\ntime_data_from = 4000\n",
      Dll::kCdecl, "lost-later");
  WaitReceiverTime(window, 3723);
  WaitShown(window, ctl::LabelTime, "--:--:--", 6000);
  EXPECT_EQ(Shown(window, ctl::LabelDate), "--.--.----");
  EXPECT_EQ(Shown(window, ctl::LabelDOW), "---");
  Terminate(window);
}

TEST_F(PollCycleTest, SuspendClosesTheDeviceAndResumeLetsItReopen) {
  HWND window = StartShown("offset_ms = 7200000\n", Dll::kStdcall);
  WaitReceiverTime(window, 7200);
  EXPECT_EQ(probe::Send(window, hv::kWmPowerBroadcast, 0, 0), 1);  // query suspend
  EXPECT_EQ(probe::Send(window, hv::kWmPowerBroadcast, 4, 0), 1);  // suspend
  EXPECT_EQ(Count("_Close"), 1);
  const int opens = Count("_Open");
  Sleep(2500);
  EXPECT_EQ(Count("_Open"), opens) << "no open attempt while suspended";
  EXPECT_EQ(probe::Send(window, hv::kWmPowerBroadcast, 10, 0), 0);  // power status change
  EXPECT_EQ(probe::Send(window, hv::kWmPowerBroadcast, 7, 0), 1);   // resume
  WaitShown(window, ctl::PanelMsg, txt::TxtDeviceOpened, 3000);
  WaitReceiverTime(window, 7200);
  Terminate(window);
}

TEST_F(PollCycleTest, ThreeLowBatteryReadingsWarnOnce) {
  HWND window = StartShown("battery = 2700\n");
  WaitShown(window, ctl::PanelMsg, txt::TxtBatteryLow, 8000);
  EXPECT_EQ(Shown(window, ctl::PanelBattery), "2.70V");
  // The notice: the other window titled "Horavia", with the OK button.
  HWND notice = nullptr;
  WaitUntil(
      [&] {
        for (HWND w : probe::FindTopWindows(program_->pid(), kCaption))
          if (probe::FindControl(w, ctl::BitBtnOk) && probe::Visible(w)) notice = w;
        return notice != nullptr;
      },
      "the low-battery notice");
  EXPECT_EQ(Shown(notice, ctl::LowBatLine1), txt::TxtLowBat1);
  EXPECT_EQ(Shown(notice, ctl::LowBatLine2), txt::TxtLowBat2);
  PostClick(probe::Control(notice, ctl::BitBtnOk));
  probe::WaitVisible(notice, false, "the notice after OK");
  // Further low readings bring the notice no more.
  Sleep(2500);
  EXPECT_FALSE(probe::Visible(notice));
  Terminate(window);
}

// A receiver that answers "not ready yet" for a long time (900 answers, well over half a
// minute): every status check lasts longer than a tick, so ticks run inside each other's waits.
// The program keeps answering, and opens the receiver once it is ready.
TEST_F(PollCycleTest, AReceiverLongNotReadyLeavesTheProgramAnswering) {
  constexpr int kNotReady = 900;
  std::string status = "status = ";
  for (int i = 0; i < kNotReady; ++i) status += "0,";
  HWND window = StartShown(status + "1\n");
  const DWORD begin = GetTickCount();
  WaitUntil([&] { return Count("_GetStatus") > 100; }, "status checks", 30000);
  while (Count("_GetStatus") < kNotReady) {
    // The tray icon and the window answer at once.
    ASSERT_EQ(probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp, 1000), 0);
    const std::string message = Shown(window, ctl::PanelMsg);  // each second reopens
    EXPECT_TRUE(message == txt::TxtNotOpened || message == txt::TxtDeviceOpened) << message;
    ASSERT_LT(GetTickCount() - begin, 240000u) << "the status checks went on too slowly";
    Sleep(2000);
  }
  WaitReceiverTime(window, 0, 15000);
  EXPECT_GT(GetTickCount() - begin, 30000u);
  Terminate(window);
}

// A library whose _GetTimeData faults from its fifth call on: every fault closes the session,
// the program reopens the receiver (every other second), answers its tray icon throughout and
// ends in order after thirty faults.
TEST_F(PollCycleTest, ALibraryThatFaultsInEveryReadIsSurvivedThirtyTimes) {
  HWND window = StartShown("fault = _GetTimeData@5\n");
  WaitShown(window, ctl::PanelMsg, txt::TxtNotOpened, 10000);
  const DWORD begin = GetTickCount();
  const int opensBefore = Count("_Open");
  auto faults = [&] {
    int n = 0;
    for (const Call& c : Calls(log_)) n += c.fault;
    return n;
  };
  while (faults() < 30 || Count("_Open") - opensBefore < 30) {
    ASSERT_EQ(probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp, 1000), 0);
    const std::string message = Shown(window, ctl::PanelMsg);
    EXPECT_TRUE(message == txt::TxtNotOpened || message == txt::TxtDeviceOpened) << message;
    ASSERT_LT(GetTickCount() - begin, 90000u)
        << faults() << " faults and " << Count("_Open") - opensBefore << " reopenings";
    Sleep(2000);
  }
  Terminate(window);
}

// A library that leaves the floating-point exceptions unmasked and the precision lowered after
// every call: the program's own arithmetic (times, voltages, the settings' reals) is unchanged.
TEST_F(PollCycleTest, ALibraryThatChangesTheFloatingPointControlChangesNothingShown) {
  WriteSettings(std::string(kSettingsAfterFirstRun) + "LastUpdate=46364.5000115741\r\n");
  HWND window = StartShown("fpu_mess = 1\noffset_ms = 3723000\nbattery = 2795\n");
  WaitReceiverTime(window, 3723);
  EXPECT_EQ(Shown(window, ctl::PanelBattery), "2.80V");
  EXPECT_EQ(Shown(window, ctl::PanelStatus), "time available");
  const std::string last = Shown(window, ctl::PanelLastUpdate);
  EXPECT_NE(last.find("2026"), std::string::npos) << last;
  Sleep(2000);
  EXPECT_TRUE(program_->Running());
  Terminate(window);
  const std::string settings = probe::ReadTextFile(SettingsPath()).value_or("");
  EXPECT_NE(settings.find("LastUpdate=46364.5000115741\r\n"), std::string::npos) << settings;
}

}  // namespace
}  // namespace e2e
