// End to end: the tray icon on the shell, a restarted shell's broadcast, and Windows' query
// and end of the session.
#include <gtest/gtest.h>


#include "app/ControlIds.h"
#include "tests/e2e/E2eFixture.h"
#include "tests/support/TestThread.h"

#include <shellapi.h>

namespace e2e {
namespace {

namespace ctl = hv::ctl;

constexpr LPARAM kLogOff = static_cast<LPARAM>(ENDSESSION_LOGOFF);

class ShellTest : public HoraviaTest {
 protected:
  // Starts the program without receiver library; the window is hidden, the icon there.
  HWND StartHidden() {
    const std::string folder = Folder("program");
    PutProgram(folder, Dll::kNone);
    program_ = &Launch(folder);
    HWND window = StartedWindow(*program_);
    EXPECT_FALSE(probe::Visible(window));
    return window;
  }

  // A mouse message on the icon in Wine's tray window: the shell sends the icon's callback
  // message to the window that added it. By default the release of the left button.
  void ClickWineTrayIcon(UINT mouse_message = WM_LBUTTONUP) {
    const std::vector<HWND> icons = WineTrayIcons();
    ASSERT_EQ(icons.size(), 1u) << "the program's icon alone";
    ASSERT_TRUE(PostMessageA(icons.front(), mouse_message, 0, MAKELPARAM(4, 4)));
  }

  void WaitIcon(HWND window, bool present, const std::string& what) {
    WaitUntil(
        [&] { return TrayIconPresent(window) == present && WineTrayIcons().empty() != present; },
        what);
  }

  probe::Process* program_ = nullptr;
};

using TrayIconTest = ShellTest;

TEST_F(TrayIconTest, IsOnTheShellWhileTheProgramRunsAndReachesItsWindow) {
  HWND window = StartHidden();
  EXPECT_EQ(WineTrayIcons().size(), 1u);
  ClickWineTrayIcon(WM_MOUSEMOVE);
  ClickWineTrayIcon(WM_LBUTTONDOWN);
  Sleep(300);
  EXPECT_FALSE(probe::Visible(window)) << "only a release shows the window";

  ClickWineTrayIcon();
  probe::WaitVisible(window, true, "the window after a click on the tray icon");

  PostClick(probe::Control(window, ctl::SpeedButtonTerminate));
  ASSERT_TRUE(program_->WaitExit(probe::kActionTimeoutMs).has_value());
  WaitUntil([] { return WineTrayIcons().empty(); }, "the icon to go with the program");
}

TEST_F(TrayIconTest, TaskbarCreatedBringsTheIconBackAfterTheShellLostIt) {
  HWND window = StartHidden();
  // What a restarted shell is like: it knows no icons.
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  data.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
  WaitIcon(window, false, "the icon to be removed");
  Sleep(300);
  ASSERT_FALSE(TrayIconPresent(window)) << "nothing but the broadcast brings it back";

  const UINT taskbar_created = RegisterWindowMessageA("TaskbarCreated");
  ASSERT_NE(taskbar_created, 0u);
  probe::Send(window, taskbar_created, 0, 0);

  WaitIcon(window, true, "the icon to come back");
  EXPECT_EQ(WineTrayIcons().size(), 1u);
  ClickWineTrayIcon();
  probe::WaitVisible(window, true, "the window after a click on the icon that came back");
  EXPECT_TRUE(program_->Running());
}

TEST_F(TrayIconTest, TaskbarCreatedWhileTheIconIsThereKeepsOneIcon) {
  HWND window = StartHidden();
  probe::Send(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  Sleep(300);
  EXPECT_TRUE(TrayIconPresent(window));
  EXPECT_EQ(WineTrayIcons().size(), 1u);
}

using SessionEndTest = ShellTest;

TEST_F(SessionEndTest, QueryAnswersYesSavesAndRemovesTheIconACancelledEndBringsItBack) {
  HWND window = StartHidden();
  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the main window");
  probe::Click(probe::Control(window, ctl::CheckBoxTone));
  ASSERT_EQ(probe::Send(probe::Control(window, ctl::CheckBoxTone), BM_GETCHECK, 0, 0), BST_CHECKED);

  EXPECT_EQ(probe::Send(window, WM_QUERYENDSESSION, 0, kLogOff), TRUE);

  const std::string saved = probe::ReadTextFile(SettingsPath()).value_or("");
  EXPECT_NE(saved.find("[General]"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Tone=1"), std::string::npos) << saved;
  WaitIcon(window, false, "the icon to be removed by the close query");
  EXPECT_TRUE(program_->Running()) << "the session has not ended yet";

  // Another program refused: the session goes on.
  probe::Send(window, WM_ENDSESSION, FALSE, kLogOff);

  WaitIcon(window, true, "the icon to come back");
  EXPECT_TRUE(program_->Running());
  EXPECT_TRUE(IsWindow(window));
  probe::Click(probe::Control(window, ctl::SpeedButtonHide));
  probe::WaitVisible(window, false, "the window after Close");
  ClickWineTrayIcon();
  probe::WaitVisible(window, true, "the window after a click on the icon that came back");
}

TEST_F(SessionEndTest, QueryWithAnUnwritableFileShowsTheErrorAnswersNoAndKeepsTheIcon) {
  HWND window = StartHidden();
  const std::string before = probe::ReadTextFile(SettingsPath()).value_or("");
  HANDLE held = CreateFileA(SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE) << "error " << GetLastError();

  // The error box is modal inside the query: the query is sent from a thread of its own.
  DWORD_PTR answer = 77;
  BOOL answered = FALSE;
  hv::test::TestThread query([&] {
    answered = SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, kLogOff, SMTO_ABORTIFHUNG,
                                   probe::kStartTimeoutMs, &answer);
  });
  std::string text;
  std::vector<int> buttons;
  try {
    HWND box = probe::WaitMessageBox(program_->pid());
    text = probe::MessageBoxText(box);
    buttons = probe::MessageBoxButtons(box);
    probe::PressMessageBoxButton(box, probe::kButtonOk);
  } catch (const probe::Error& e) {
    ADD_FAILURE() << e.what();
  }
  query.Join();
  CloseHandle(held);

  EXPECT_EQ(text, "In " + SettingsPath() + " kann nicht geschrieben werden.");
  EXPECT_EQ(buttons, std::vector<int>{probe::kButtonOk});
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE)) << "the close query failed";
  EXPECT_TRUE(TrayIconPresent(window));
  EXPECT_TRUE(program_->Running());
  EXPECT_EQ(probe::ReadTextFile(SettingsPath()).value_or(""), before);

  // Writable again, the next query succeeds.
  EXPECT_EQ(probe::Send(window, WM_QUERYENDSESSION, 0, kLogOff), TRUE);
  WaitIcon(window, false, "the icon to be removed by the close query");
}

}  // namespace
}  // namespace e2e
