// End to end: the PC clock set from the simulated receiver under the start-up rule. Wine
// accepts a new local time only within half a second of its own clock and refuses any other
// with "privilege not held"; so a receiver in step with the machine's clock sets it, and one
// that is not shows how a refusal is reported. No test moves this machine's clock.
#include <gtest/gtest.h>

#include <cmath>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

namespace ctl = hv::ctl;

// The first second 1 after a start may be a minute away.
constexpr DWORD kFirstSecond1Ms = 75000;

// Local time minus UTC on this machine now, in milliseconds.
long long LocalMinusUtcMs() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  FILETIME u, l;
  SystemTimeToFileTime(&utc, &u);
  SystemTimeToFileTime(&local, &l);
  auto ticks = [](FILETIME f) {
    return static_cast<long long>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
  };
  const long long ms = (ticks(l) - ticks(u)) / 10000;
  return std::llround(ms / 900000.0) * 900000;  // whole quarter hours
}

class SyncTest : public HoraviaTest {
 protected:
  // Starts the program with the start-up rule "immediately, also with crystal time", one
  // minute required, the time reference `ref`; shows the window unless `hidden`.
  HWND Start(const std::string& scenario, int ref, bool terminate = false, bool hidden = false) {
    WriteSettings(std::string(kSettingsAfterFirstRun) + "StartupUpdate=1\r\nDCFQuality=1\r\n" +
                  "TimeRef=" + std::to_string(ref) + "\r\nTerminate=" + (terminate ? "1" : "0") +
                  "\r\n");
    const std::string folder = Folder("program");
    PutProgram(folder, Dll::kCdecl);
    WriteFile(Path("scenario.ini"), scenario);
    program_ = &Launch(folder, Path("scenario.ini"), Path("calls.log"));
    HWND window = StartedWindow(*program_);
    if (!hidden) {
      probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
      probe::WaitVisible(window, true, "the window after the tray click");
    }
    return window;
  }
  std::string WaitMessage(HWND window, const std::string& text) {
    return probe::WaitText(
        probe::Control(window, ctl::PanelMsg), [&](const std::string& t) { return t == text; },
        "\"" + text + "\"", kFirstSecond1Ms);
  }
  std::string Settings() const { return probe::ReadTextFile(SettingsPath()).value_or(""); }
  void Terminate(HWND window) {
    PostClick(probe::Control(window, ctl::SpeedButtonTerminate));
    EXPECT_EQ(program_->WaitExit(probe::kActionTimeoutMs), 0u);
  }

  probe::Process* program_ = nullptr;
};

TEST_F(SyncTest, StartupRuleSetsTheClockAtTheFirstSecond1) {
  HWND window = Start("", 2);
  WaitMessage(window, txt::TxtTimeAdjusted);
  const std::string last = probe::Text(probe::Control(window, ctl::PanelLastUpdate));
  EXPECT_NE(last, "never");
  EXPECT_NE(last.find(":01"), std::string::npos) << last << ": the received time of second 1";
  Terminate(window);
  const std::string settings = Settings();
  EXPECT_NE(settings.find("LastUpdate="), std::string::npos) << settings;
  EXPECT_EQ(settings.find("LastUpdate=0\r"), std::string::npos) << settings;
}

// A receiver in summer time an hour ahead of the PC clock: within the bound, but the system
// refuses the time.
TEST_F(SyncTest, ATimeTheSystemRefusesIsReported) {
  const long long offset = LocalMinusUtcMs() - 3600000;
  HWND window = Start("summer = 1\noffset_ms = " + std::to_string(offset) + "\n", 2);
  WaitMessage(window, txt::TxtAdjustmentFailed);
  EXPECT_EQ(probe::Text(probe::Control(window, ctl::PanelLastUpdate)), "never");
  Terminate(window);
}

TEST_F(SyncTest, AReceiver75MinutesOffIsRefused) {
  HWND window = Start("offset_ms = 4500000\n", 2);
  WaitMessage(window, txt::TxtDeviationTooGreat);
  Terminate(window);
}

// With the UTC reference, a PC clock that holds UTC gets set in summer too: the received
// summer time is two hours from it, the time to be set is not.
TEST_F(SyncTest, UtcReferenceSetsTheClockFromSummerTime) {
  const long long offset = LocalMinusUtcMs();
  HWND window = Start("summer = 1\noffset_ms = " + std::to_string(offset) + "\n", 0);
  WaitMessage(window, txt::TxtTimeAdjusted);
  Terminate(window);
}

TEST_F(SyncTest, TerminateAfterUpdateWithTheWindowHiddenEndsTheProgram) {
  Start("", 2, true, true);
  EXPECT_EQ(program_->WaitExit(kFirstSecond1Ms), 0u);
  const std::string settings = Settings();
  EXPECT_NE(settings.find("LastUpdate="), std::string::npos) << settings;
  EXPECT_EQ(settings.find("LastUpdate=0\r"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Terminate=1"), std::string::npos) << settings;
}

}  // namespace
}  // namespace e2e
