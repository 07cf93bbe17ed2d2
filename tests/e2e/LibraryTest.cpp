// End to end: how the started program binds Tempiva.dll and what its message panel says then.
#include <gtest/gtest.h>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

// Time the program gets after setting PanelMsg, to make calls it should not make.
constexpr DWORD kQuietMs = 600;

using LibraryTest = HoraviaTest;

TEST_F(LibraryTest, WithoutLibraryReportsItNotFound) {
  ASSERT_TRUE(TempivaOnSearchPath().empty())
      << "a Tempiva.dll on the search path would be found: " << TempivaOnSearchPath().front();
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kNone);

  probe::Process& program = Launch(folder);
  HWND window = MainWindow(program);

  EXPECT_EQ(PanelMsg(window), txt::TxtLibraryNotFound);
  EXPECT_FALSE(probe::HasModule(program.pid(), kDllName));
  EXPECT_TRUE(program.Running());
}

TEST_F(LibraryTest, NineteenOfTwentyExportsReportNotFoundAndNothingIsCalled) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kMissing);
  const std::string scenario = Path("scenario.ini");
  WriteFile(scenario, "installed = 1\n");
  const std::string log = Path("calls.log");

  probe::Process& program = Launch(folder, scenario, log);
  HWND window = MainWindow(program);

  EXPECT_EQ(PanelMsg(window), txt::TxtLibraryNotFound);
  Sleep(kQuietMs);
  // It loaded and stays loaded, but no entry point was called: the DLL logs on every call.
  EXPECT_TRUE(probe::HasModule(program.pid(), kDllName));
  EXPECT_FALSE(probe::FileExists(log)) << probe::ReadTextFile(log).value_or("");
  EXPECT_TRUE(program.Running());
}

TEST_F(LibraryTest, NoDeviceInstalledGivesTheHint) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kCdecl);
  const std::string scenario = Path("scenario.ini");
  WriteFile(scenario, "installed = 0\n");
  const std::string log = Path("calls.log");

  probe::Process& program = Launch(folder, scenario, log);

  EXPECT_EQ(PanelMsg(MainWindow(program)), txt::TxtNoDeviceInstalled);
  const std::vector<Call> calls = Calls(log);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].entry, "_NumInstalled");
  EXPECT_EQ(calls[0].result, 0);
}

// A DLL only in the working folder must not be loaded: the program's own folder has none.
TEST_F(LibraryTest, DllOnlyInTheWorkingFolderIsNotLoaded) {
  ASSERT_TRUE(TempivaOnSearchPath().empty());
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kNone);
  const std::string workdir = Folder("work");
  PutDll(workdir, Dll::kCdecl);
  // Both ways the DLL finds its log, so that any call of a loaded DLL leaves a file.
  const std::string ini_log = workdir + "\\ini-calls.log";
  WriteFile(workdir + "\\Tempiva.ini", "installed = 1\nlog = " + ini_log + "\n");
  const std::string env_log = Path("env-calls.log");

  probe::Process& program = Launch(folder, "", env_log, workdir);
  HWND window = MainWindow(program);

  EXPECT_EQ(PanelMsg(window), txt::TxtLibraryNotFound);
  Sleep(kQuietMs);
  EXPECT_FALSE(probe::HasModule(program.pid(), kDllName));
  EXPECT_FALSE(probe::FileExists(env_log));
  EXPECT_FALSE(probe::FileExists(ini_log));
}

// A library that faults in its first call: the start goes on to its end, the program runs
// on and ends in order.
TEST_F(LibraryTest, FaultAtStartIsReportedAsNotOpenedAndTheProgramRunsOn) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kStdcall);
  const std::string scenario = Path("scenario.ini");
  WriteFile(scenario, "fault = _NumInstalled\nfpu_mess = 1\n");
  const std::string log = Path("calls.log");

  probe::Process& program = Launch(folder, scenario, log);
  HWND window = StartedWindow(program);

  EXPECT_EQ(PanelMsg(window), txt::TxtNotOpened);
  const std::vector<Call> calls = Calls(log);
  ASSERT_FALSE(calls.empty()) << "no call logged in " << log;
  EXPECT_EQ(calls[0].entry, "_NumInstalled");
  EXPECT_TRUE(calls[0].fault);
  Sleep(kQuietMs);
  ASSERT_TRUE(program.Running());
  EXPECT_TRUE(probe::MessageBoxes(program.pid()).empty()) << "no crash or error box";

  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the main window, shown through its tray icon");
  PostClick(probe::Control(window, hv::ctl::SpeedButtonTerminate));
  const auto exit_code = program.WaitExit(probe::kActionTimeoutMs);
  ASSERT_TRUE(exit_code.has_value()) << "still running after Terminate Program";
  EXPECT_EQ(*exit_code, 0u);
  const std::string settings = probe::ReadTextFile(SettingsPath()).value_or("");
  EXPECT_NE(settings.find("TimeRef="), std::string::npos) << "settings written: " << settings;
}

// Both calling conventions of the library bind, and the program gets the library's answer.
class LibraryConventionTest : public HoraviaTest, public ::testing::WithParamInterface<Dll> {};

TEST_P(LibraryConventionTest, InstalledDeviceIsReportedNotOpened) {
  const std::string folder = Folder("program");
  PutProgram(folder, GetParam());
  const std::string scenario = Path("scenario.ini");
  // Two receivers, and none ever opens: the panel keeps its start-up text.
  WriteFile(scenario, "installed = 2\nopen_fails = always\n");
  const std::string log = Path("calls.log");

  probe::Process& program = Launch(folder, scenario, log);

  EXPECT_EQ(PanelMsg(MainWindow(program)), txt::TxtNotOpened);
  const std::vector<Call> calls = Calls(log);
  ASSERT_FALSE(calls.empty()) << "no call logged in " << log;
  EXPECT_EQ(calls[0].entry, "_NumInstalled");
  EXPECT_EQ(calls[0].args, "-");
  EXPECT_EQ(calls[0].result, 2);
  // A caller that got the stack wrong would not survive its calls for long.
  Sleep(kQuietMs);
  EXPECT_TRUE(program.Running());
}

INSTANTIATE_TEST_SUITE_P(Conventions, LibraryConventionTest,
                         ::testing::Values(Dll::kCdecl, Dll::kStdcall),
                         [](const ::testing::TestParamInfo<Dll>& info) {
                           return info.param == Dll::kCdecl ? "Cdecl" : "Stdcall";
                         });

}  // namespace
}  // namespace e2e
