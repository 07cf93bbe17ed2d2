// End to end: the PC clock set from the simulated receiver under the start-up and hourly rules.
// Wine accepts a new local time only within half a second of its own clock and refuses any other
// with "privilege not held"; so only a receiver in step with the machine's clock sets it, and
// one that is not shows how a refusal is reported. No test moves this machine's clock.
//
// A setting that succeeds under the start-up rule is therefore made at the machine's own second
// 1, up to a minute after the start. Every other run moves the receiver's clock to the moment it
// needs, a few seconds after the start (OffsetReaching), and waits no longer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

namespace ctl = hv::ctl;

// The machine's next second 1 may be a minute away.
constexpr DWORD kMachineSecond1Ms = 75000;
// A moment of the receiver placed kReceiverLeadMs ahead, with room for a slow start.
constexpr DWORD kReceiverMomentMs = 15000;

// An offset that makes a receiver in summer time show this machine's local time.
long long SummerShowingLocalTime() {
  return LocalMinusUtcMs() - 2 * 3600000LL;
}

// The second of the day of a LastUpdate value as the settings file holds it (days since
// 30 December 1899, "." as separator); -1 when it is not a number.
int SecondOfSavedTime(const std::string& value) {
  char* end = nullptr;
  const double days = std::strtod(value.c_str(), &end);
  if (end == value.c_str() || days <= 0) return -1;
  return static_cast<int>(std::llround((days - std::floor(days)) * 86400.0) % 86400);
}

class SyncTest : public HoraviaTest {
 protected:
  // Starts the program with `rules` (settings lines after the first-run line) and `scenario`;
  // shows the window unless `hidden`.
  HWND Start(const std::string& scenario, const std::string& rules, bool hidden = false) {
    WriteSettings(std::string(kSettingsAfterFirstRun) + rules);
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
  // The start-up rule "immediately, also with crystal time", one minute required.
  static std::string StartupRule(int ref, bool terminate = false) {
    return "StartupUpdate=1\r\nDCFQuality=1\r\nTimeRef=" + std::to_string(ref) +
           "\r\nTerminate=" + (terminate ? "1" : "0") + "\r\n";
  }
  std::string WaitMessage(HWND window, const std::string& text, DWORD timeout_ms) {
    return probe::WaitText(
        probe::Control(window, ctl::PanelMsg), [&](const std::string& t) { return t == text; },
        "\"" + text + "\"", timeout_ms);
  }
  std::string Saved(const std::string& key) const {
    const std::string settings = probe::ReadTextFile(SettingsPath()).value_or("");
    const size_t at = settings.find("\n" + key + "=");
    if (at == std::string::npos) return "<missing>";
    const size_t begin = at + key.size() + 2;
    return settings.substr(begin, settings.find('\r', begin) - begin);
  }
  void Terminate(HWND window) {
    PostClick(probe::Control(window, ctl::SpeedButtonTerminate));
    EXPECT_EQ(program_->WaitExit(probe::kActionTimeoutMs), 0u);
  }

  probe::Process* program_ = nullptr;
};

// The start-up rule sets the clock from the receiver's second 1, the machine's own: the received
// time saved is that second exactly. With "terminate after update" and the window hidden, the
// program then ends and keeps its settings.
TEST_F(SyncTest, StartupRuleSetsTheClockAtSecond1AndATerminateAfterUpdateEndsAHiddenProgram) {
  Start("", StartupRule(2, true), true);
  ASSERT_EQ(program_->WaitExit(kMachineSecond1Ms), 0u);
  const int now = NowSecondsOfDay();
  const std::string last = Saved("LastUpdate");
  const int set = SecondOfSavedTime(last);
  EXPECT_EQ(set % 60, 1) << "LastUpdate=" << last << ": the received time of second 1";
  EXPECT_LE(SecondsApart(set, now), 5) << "LastUpdate=" << last;
  EXPECT_EQ(Saved("Terminate"), "1");
}

// Settings refused at the receiver's first second 1, placed a few seconds after the start: one
// 75 minutes off, outside the bound; one in summer time an hour ahead, within the bound, which
// the system refuses.
TEST_F(SyncTest, RefusedSettingsAreReportedAndLeaveTheLastUpdate) {
  struct Case {
    const char* season;
    long long off_by_ms;  // from the machine's clock, less than a minute more
    const char* message;
  };
  const Case cases[] = {
      {"", 75 * 60000LL, txt::TxtDeviationTooGreat},
      {"summer = 1\n", SummerShowingLocalTime() + 3600000, txt::TxtAdjustmentFailed}};
  for (const Case& c : cases) {
    // The offset is worked out from the moment of the start.
    const std::string scenario =
        c.season + ("offset_ms = " + std::to_string(OffsetReaching(1000, 60000, c.off_by_ms)));
    SCOPED_TRACE(scenario);
    HWND window = Start(scenario + "\n", StartupRule(2));
    WaitMessage(window, c.message, kMachineSecond1Ms);
    EXPECT_EQ(probe::Text(probe::Control(window, ctl::PanelLastUpdate)), txt::TxtNever);
    Terminate(window);
    EXPECT_EQ(Saved("LastUpdate"), "0");
  }
}

// The hourly rule, armed at the receiver's second 1 of minute 0, tries every record until a
// setting succeeds. The receiver first runs ahead (the system refuses its time), then sets its
// clock anew in summer time; with the UTC reference a PC clock holding UTC gets set: the received
// summer time is two hours from it, the time to be set is not.
TEST_F(SyncTest, HourlyRuleRetriesAfterARefusalAndSetsTheClockFromSummerTimeUnderUtc) {
  const long long in_step = LocalMinusUtcMs();
  const long long ahead = OffsetReaching(1000, 3600000, in_step, 4000);
  // The receiver's clock less than two minutes ahead might set the clock at once: behind then.
  const long long first = ahead - in_step < 120000 ? ahead - 3600000 : ahead;
  HWND window = Start("summer = 1\noffset_ms = " + std::to_string(first) +
                          "\noffset_changes = " + std::to_string(in_step) + "@8000\n",
                      "PeriodicalUpdate=1\r\nTimeRef=0\r\n");
  WaitMessage(window, txt::TxtAdjustmentFailed, kReceiverMomentMs);
  EXPECT_EQ(probe::Text(probe::Control(window, ctl::PanelLastUpdate)), txt::TxtNever);
  WaitMessage(window, txt::TxtTimeAdjusted, kReceiverMomentMs);
  const std::string shown = probe::WaitText(
      probe::Control(window, ctl::PanelLastUpdate),
      [](const std::string& t) { return t != txt::TxtNever; }, "the last update");
  Terminate(window);
  // The panel shows the received time that is saved.
  const std::string last = Saved("LastUpdate");
  const size_t space = shown.find(' ');
  ASSERT_NE(space, std::string::npos) << shown;
  EXPECT_EQ(SecondsOfDay(shown.substr(space + 1)), SecondOfSavedTime(last))
      << shown << " vs LastUpdate=" << last;
}

}  // namespace
}  // namespace e2e
