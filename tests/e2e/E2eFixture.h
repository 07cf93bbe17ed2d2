// Fixture of the end-to-end tests: a folder per test, copies of the built files, a started
// Horavia.exe that is always ended, and the simulator's call log.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/Probe.h"

namespace e2e {

// The program's texts, from the one list the string table is built from.
namespace txt {
#define HV_TEXT(name, id, text) constexpr char name[] = text;
#include "common/Texts.def"
}  // namespace txt

constexpr char kCaption[] = "Horavia";
constexpr char kExeName[] = "Horavia.exe";
constexpr char kDllName[] = "Tempiva.dll";
constexpr char kSettingsName[] = "Kronalt.ini";
constexpr char kSettingsAfterFirstRun[] = "[TNA]\r\nFirstRun=0\r\n";

enum class Dll { kNone, kCdecl, kStdcall, kMissing };

// One line of the simulator's call log: "<ms> <entry point> <arguments> -> <result> ...", or
// "... -> fault" for a call that raised an access violation.
struct Call {
  long ms = 0;
  std::string entry;
  std::string args;
  long result = 0;
  bool fault = false;
};

// The calls in a log's text; remarks (#) and lines of another form are left out.
std::vector<Call> ParseCallLog(const std::string& text);

// Folders holding Tempiva.dll that a started program would search after its own folder: the
// system folders and those on PATH.
std::vector<std::string> TempivaOnSearchPath();

// Local time minus UTC on this machine now, in milliseconds.
long long LocalMinusUtcMs();

// Milliseconds since 1970-01-01 00:00 UTC by the system clock.
long long UtcNowMs();

// How far from now a moment of the receiver's clock is placed for a program about to start: it
// reads its first record of a running session within about two seconds of its launch.
constexpr long long kReceiverLeadMs = 3000;

// An offset of the receiver's clock from UTC (scenario `offset_ms`): `base_ms` plus the least
// span of 0 or more that brings the clock to `at_ms` into a period of `period_ms` `lead_ms` from
// now: second 1 of a minute is (1000, 60000), second 1 of minute 0 (1000, 3600000). A test then
// waits seconds for that moment of the receiver, not up to a minute or an hour. (The zones of
// the receiver's legal time are whole hours, so these periods are the same in it.)
long long OffsetReaching(long long at_ms, long long period_ms, long long base_ms = 0,
                         long long lead_ms = kReceiverLeadMs);

// Seconds since midnight of a time in the user's long format ("14:05:09" or "2:05:09 PM");
// -1 for anything else.
int SecondsOfDay(const std::string& text);
int NowSecondsOfDay();
// Distance of two moments of the day in seconds, across midnight.
int SecondsApart(int a, int b);

// Polls `ready` until it answers true; throws probe::Error naming `what` when time runs out.
void WaitUntil(const std::function<bool()>& ready, const std::string& what,
               DWORD timeout_ms = probe::kActionTimeoutMs);

// Clicks a button as the mouse does: through the program's message queue, so that the click is
// handled by its message loop and not inside whatever the program is doing (probe::Click sends
// BM_CLICK, which the program may handle while it waits for another process).
void PostClick(HWND button);

// Whether the shell holds the icon `id` of window `owner`: a change that changes nothing
// (NIM_MODIFY without flags) succeeds exactly for an icon that is there.
bool TrayIconPresent(HWND owner, UINT id = 1);
// The icons shown in Wine's own tray window, which stands in for a notification area when the
// display has none; empty while that window is hidden (it is, without icons).
std::vector<HWND> WineTrayIcons();

class HoraviaTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's own folder (emptied at the start of the test) and folders inside it.
  const std::string& Root() const { return root_; }
  std::string Folder(const std::string& name) const;
  std::string Path(const std::string& name) const { return root_ + "\\" + name; }

  // Copies Horavia.exe into `folder` and, unless kNone, the simulator DLL of that build.
  void PutProgram(const std::string& folder, Dll dll) const;
  void PutDll(const std::string& folder, Dll dll) const;
  void WriteFile(const std::string& path, const std::string& text) const;
  // Replaces the program's settings file (Kronalt.ini in the application-data folder). Every
  // test starts with one that only says the first run is over, so no notice box comes up.
  void WriteSettings(const std::string& text) const;
  std::string SettingsPath() const;
  // Removes the settings file, as on a machine where the program never ran.
  void DeleteSettings() const;

  // Starts `folder`\Horavia.exe in `workdir` (default: `folder`). The scenario and log, when
  // given, reach the simulator through TEMPIVA_SCENARIO and TEMPIVA_LOG; when not given these
  // variables are removed; `env` changes more. The process is ended at the end of the test
  // whatever happens.
  probe::Process& Launch(const std::string& folder, const std::string& scenario = "",
                         const std::string& log = "", const std::string& workdir = "",
                         std::vector<probe::EnvChange> env = {});

  // The main window of a started process, waited for.
  HWND MainWindow(const probe::Process& process) const;
  // The main window once FormCreate has added the tray icon (its last step before the notices
  // of the start and the poll timer).
  HWND StartedWindow(const probe::Process& process) const;
  // PanelMsg once FormCreate has set it.
  std::string PanelMsg(HWND main_window) const;
  // The calls logged in `path`; empty when the file does not exist.
  std::vector<Call> Calls(const std::string& path) const;

 private:
  std::string root_;
  std::deque<probe::Process> started_;  // stable references for Launch's callers
};

}  // namespace e2e
