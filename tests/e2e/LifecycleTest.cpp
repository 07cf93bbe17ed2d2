// End to end: single instance, the refused platforms and the terminate button.
#include <gtest/gtest.h>

#include <optional>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

using LifecycleTest = HoraviaTest;

std::vector<int> Ids(std::initializer_list<int> ids) {
  return ids;
}

// Holds "Tempiva" as an instance running elevated does for a process of lesser rights: a mutex
// whose access list grants nothing, so that creating it again fails with access denied.
class DenyingMutex {
 public:
  DenyingMutex() {
    SECURITY_DESCRIPTOR descriptor;
    ACL nothing;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&nothing, sizeof nothing, ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &nothing, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    handle_ = CreateMutexA(&attributes, TRUE, "Tempiva");
  }
  DenyingMutex(const DenyingMutex&) = delete;
  DenyingMutex& operator=(const DenyingMutex&) = delete;
  ~DenyingMutex() {
    if (handle_) CloseHandle(handle_);
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};

// The running instance is a first Horavia, or one that runs elevated (its mutex may not be
// opened); either way the second start shows its box, ends, and touches nothing.
TEST_F(LifecycleTest, SecondInstanceShowsItsBoxEndsAndLeavesTheFirstUntouched) {
  for (const bool elevated : {false, true}) {
    SCOPED_TRACE(elevated ? "elevated first instance" : "first instance");
    const std::string folder = Folder(elevated ? "elevated" : "program");
    PutProgram(folder, Dll::kCdecl);
    const std::string scenario = Path("scenario.ini");
    WriteFile(scenario, "installed = 0\n");
    std::optional<DenyingMutex> denying;
    HWND window = nullptr;
    std::string panel;
    probe::Process* first = nullptr;
    if (elevated) {
      denying.emplace();
      ASSERT_TRUE(*denying);
      HANDLE again = CreateMutexA(nullptr, TRUE, "Tempiva");
      const DWORD error = GetLastError();
      if (again) CloseHandle(again);
      ASSERT_EQ(again, nullptr) << "the system lets anyone open a mutex that grants nothing";
      ASSERT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    } else {
      first = &Launch(folder, scenario, Path("first.log"));
      window = MainWindow(*first);
      panel = PanelMsg(window);
      ASSERT_EQ(panel, txt::TxtNoDeviceInstalled);
      ASSERT_FALSE(probe::Visible(window));
    }

    const std::string second_log = Path(elevated ? "denied.log" : "second.log");
    probe::Process& second = Launch(folder, scenario, second_log);
    HWND box = probe::WaitMessageBox(second.pid());

    EXPECT_EQ(probe::MessageBoxText(box),
              std::string(txt::TxtProductName) + "\r" + txt::TxtIsJustRunning);
    EXPECT_EQ(probe::MessageBoxButtons(box), Ids({probe::kButtonOk}));
    // It ends straight after its box: no window, no library.
    EXPECT_TRUE(probe::FindTopWindows(second.pid(), kCaption).empty());
    EXPECT_FALSE(probe::HasModule(second.pid(), kDllName));
    probe::PressMessageBoxButton(box, probe::kButtonOk);
    EXPECT_TRUE(second.WaitExit(probe::kActionTimeoutMs).has_value())
        << "the second instance still runs after its box was dismissed";
    EXPECT_FALSE(probe::FileExists(second_log));
    EXPECT_EQ(probe::ReadTextFile(SettingsPath()), kSettingsAfterFirstRun) << "settings written";

    if (first) {
      EXPECT_TRUE(first->Running());
      EXPECT_TRUE(IsWindow(window));
      EXPECT_FALSE(probe::Visible(window));
      EXPECT_EQ(probe::Text(probe::Control(window, hv::ctl::PanelMsg)), panel);
      EXPECT_TRUE(probe::MessageBoxes(first->pid()).empty());
      first->Kill();  // frees the name for the next row
    }
  }
}

// The reported Windows version is Wine's per-executable setting, removed again by the override.
class UnsupportedPlatformTest : public HoraviaTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(UnsupportedPlatformTest, ShowsTheErrorBoxAndEndsAfterIt) {
  probe::WineVersionOverride version(kExeName, GetParam());
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kCdecl);
  const std::string log = Path("calls.log");
  probe::Process& program = Launch(folder, "", log);

  HWND box = probe::WaitMessageBox(program.pid(), probe::kStartTimeoutMs);
  EXPECT_EQ(probe::MessageBoxText(box),
            std::string(txt::TxtUnsupported1) + "\r" + txt::TxtUnsupported2);
  EXPECT_EQ(probe::MessageBoxButtons(box), Ids({probe::kButtonCancel}));
  // The box stays until it is answered; the library is never bound.
  Sleep(500);
  ASSERT_TRUE(program.Running());
  EXPECT_FALSE(probe::HasModule(program.pid(), kDllName));

  const ULONGLONG pressed = probe::NowMs();
  probe::PressMessageBoxButton(box, probe::kButtonCancel);
  const auto exit_code = program.WaitExit(probe::kActionTimeoutMs);
  const ULONGLONG elapsed = probe::NowMs() - pressed;

  ASSERT_TRUE(exit_code.has_value()) << "still running after its box was dismissed";
  EXPECT_EQ(*exit_code, 0u);
  EXPECT_GE(elapsed, 200u) << "Timer1 closes the program 200 ms after the box";
  EXPECT_LE(elapsed, 1500u) << "(on a display without a window manager Wine waits 2 s for one "
                               "when a window hides, unless the prefix has X11 Driver Managed=N)";
  EXPECT_FALSE(probe::FileExists(log));
}

INSTANTIATE_TEST_SUITE_P(Wine, UnsupportedPlatformTest, ::testing::Values("win98", "nt40"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST_F(LifecycleTest, TerminateButtonEndsTheProgramAndFreesItsName) {
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kNone);
  probe::Process& program = Launch(folder);
  HWND window = MainWindow(program);
  ASSERT_FALSE(PanelMsg(window).empty());
  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the main window");

  probe::Click(probe::Control(window, hv::ctl::SpeedButtonTerminate));

  const auto exit_code = program.WaitExit(probe::kActionTimeoutMs);
  ASSERT_TRUE(exit_code.has_value()) << "still running after Terminate Program";
  EXPECT_EQ(*exit_code, 0u);
  EXPECT_FALSE(IsWindow(window));

  // The mutex went with the process: the next start runs normally.
  probe::Process& next = Launch(folder);
  EXPECT_EQ(PanelMsg(MainWindow(next)), txt::TxtLibraryNotFound);
  EXPECT_TRUE(probe::MessageBoxes(next.pid()).empty());
}

}  // namespace
}  // namespace e2e
