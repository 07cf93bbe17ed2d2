// The layer on the systems it meets: functions an older Windows lacks, an
// elevated token, an older common-controls library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/FormWindows.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

struct FilterCall {
  HWND window;  // null: for the whole process
  UINT message;
  DWORD action;
};
std::vector<FilterCall> filterCalls;

BOOL WINAPI RecordWindowFilter(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT) {
  filterCalls.push_back({window, message, action});
  return TRUE;
}
BOOL WINAPI RecordProcessFilter(UINT message, DWORD flag) {
  filterCalls.push_back({nullptr, message, flag});
  return TRUE;
}

TEST(MessageFilter, OnlyTaskbarCreatedReachesEveryFormFromAProcessOfLowerIntegrity) {
  struct Case {
    const char* name;
    bool perWindow;   // ChangeWindowMessageFilterEx: Windows 7 and later
    bool perProcess;  // ChangeWindowMessageFilter: Vista and later
  };
  for (const Case c : {Case{"Windows 7", true, true}, Case{"Vista", false, true},
                       Case{"before Vista", false, false}}) {
    SCOPED_TRACE(c.name);
    filterCalls.clear();
    test::PretendApi pretend([&](dyn::Api& api) {
      api.ChangeWindowMessageFilterEx = c.perWindow ? RecordWindowFilter : nullptr;
      api.ChangeWindowMessageFilter = c.perProcess ? RecordProcessFilter : nullptr;
    });
    TForm before("Before");
    test::Realized first(before);
    const UINT message = test::Platform().RegisterWindowMessage("TaskbarCreated");
    ASSERT_NE(message, 0u);
    const UINT other = test::Platform().RegisterWindowMessage("HoraviaTestMessage");
    ASSERT_NE(other, 0u);
    TForm after("After");
    test::Realized second(after);
    ASSERT_NE(second.Window(), nullptr);

    std::vector<HWND> windows;
    for (const FilterCall& call : filterCalls) {
      EXPECT_EQ(call.message, message) << "no other message is let through";
      windows.push_back(call.window);
      EXPECT_EQ(call.action, c.perWindow ? DWORD{MSGFLT_ALLOW} : DWORD{MSGFLT_ADD});
    }
    if (c.perWindow) {
      EXPECT_EQ(windows, (std::vector<HWND>{first.Window(), second.Window()}));
    } else if (c.perProcess) {
      EXPECT_FALSE(windows.empty());
      for (HWND window : windows) EXPECT_EQ(window, nullptr);
    } else {
      EXPECT_TRUE(windows.empty());
    }
  }
}

struct FlashCall {
  HWND window;
  DWORD flags;
  bool operator==(const FlashCall&) const = default;
};
std::vector<FlashCall> flashCalls;

BOOL WINAPI RecordFlash(PFLASHWINFO info) {
  flashCalls.push_back({info->hwnd, info->dwFlags});
  return FALSE;
}

TEST(FlashForm, HidingTheFormStopsItsCaptionAndTheTaskbarEntryFlashing) {
  test::PretendApi pretend([](dyn::Api& api) { api.FlashWindowEx = RecordFlash; });
  // The main window stays shown, and with it the taskbar entry.
  TForm main("Main");
  test::Realized mainWindow(main);
  main.Show();
  TForm notice("Notice");
  test::Realized noticeWindow(notice);
  notice.Show();
  const HWND entry = test::Platform().Windows().ApplicationWindow();
  flashCalls.clear();

  test::Platform().FlashForm(notice);
  EXPECT_EQ(flashCalls,
            (std::vector<FlashCall>{{noticeWindow.Window(), FLASHW_CAPTION | FLASHW_TIMERNOFG},
                                    {entry, FLASHW_TRAY | FLASHW_TIMERNOFG}}));
  flashCalls.clear();
  notice.Close();  // its OK button
  EXPECT_EQ(flashCalls,
            (std::vector<FlashCall>{{noticeWindow.Window(), FLASHW_STOP}, {entry, FLASHW_STOP}}));
  flashCalls.clear();
  notice.Show();
  notice.Hide();
  EXPECT_TRUE(flashCalls.empty()) << "a form that was not flashing stops nothing";
}

// comctl32 5.81 (Windows 2000, XP without a manifest) as a stand-in: it
// knows the classes up to ICC_NATIVEFNTCTL_CLASS and refuses a request that
// holds any flag it does not know.
DWORD registered581 = 0;
BOOL WINAPI CommonControlsInit581(const INITCOMMONCONTROLSEX* init) {
  if (init->dwSize != sizeof *init || (init->dwICC & ~DWORD{0x3FFF})) return FALSE;
  registered581 |= init->dwICC;
  return TRUE;
}
HRESULT WINAPI CommonControlsVersion581(DLLVERSIONINFO* version) {
  version->dwMajorVersion = 5;
  version->dwMinorVersion = 81;
  return S_OK;
}
// The same library telling a version it is not: its answer is not relied on.
HRESULT WINAPI CommonControlsVersion6(DLLVERSIONINFO* version) {
  version->dwMajorVersion = 6;
  version->dwMinorVersion = 0;
  return S_OK;
}

TEST(CommonControls, TheTabsAndTheSpinButtonsAreRegisteredAlsoByVersion581) {
  const DWORD used = ICC_TAB_CLASSES | ICC_UPDOWN_CLASS;
  struct Case {
    const char* name;
    DLLGETVERSIONPROC version;
    bool all;
  };
  for (const Case& c : {Case{"telling 5.81", CommonControlsVersion581, true},
                        Case{"telling no version", nullptr, true},
                        Case{"telling 6.0", CommonControlsVersion6, false}}) {
    SCOPED_TRACE(c.name);
    test::PretendApi pretend([&](dyn::Api& api) { api.DllGetVersion = c.version; });
    registered581 = 0;
    EXPECT_EQ(InitCommonControlClasses(CommonControlsInit581), c.all);
    EXPECT_EQ(registered581 & used, used);
  }
  // The library present registers them too.
  EXPECT_TRUE(InitCommonControlClasses());
  WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  EXPECT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), WC_TABCONTROLA, &info));
  EXPECT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), UPDOWN_CLASSA, &info));
}

std::vector<std::string> shellExecuted;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR operation, LPCSTR file, LPCSTR, LPCSTR, INT) {
  shellExecuted.push_back(std::string(operation) + " " + file);
  return reinterpret_cast<HINSTANCE>(33);
}

std::vector<std::wstring> desktopOpened;

bool RecordDesktopOpen(const std::wstring& link) {
  desktopOpened.push_back(link);
  return true;
}

// Stand-ins for the shell record what would be opened: no test opens a link.
TEST(ShellOpen, AnElevatedProcessLeavesTheLinkToTheDesktopsShell) {
  const std::string link = "https://horavia.example.com/";
  const DesktopOpener opener = ReplaceDesktopOpener(RecordDesktopOpen);
  struct Case {
    const char* name;
    bool elevated;
  };
  for (const Case c : {Case{"not elevated", false}, Case{"elevated", true}}) {
    SCOPED_TRACE(c.name);
    shellExecuted.clear();
    desktopOpened.clear();
    test::PretendApi pretend([&](dyn::Api& api) {
      api.ShellExecuteA = RecordShellExecute;
      api.GetTokenInformation = c.elevated ? test::ElevatedTokenInformation : nullptr;
    });
    test::Platform().ShellOpen(link);
    if (!c.elevated) {
      EXPECT_EQ(shellExecuted, std::vector<std::string>{"open " + link});
      EXPECT_TRUE(desktopOpened.empty());
    } else {
      EXPECT_TRUE(shellExecuted.empty()) << "never opened from the elevated process";
      EXPECT_EQ(desktopOpened, std::vector<std::wstring>{L"https://horavia.example.com/"});
    }
  }
  ReplaceDesktopOpener(opener);
}

}  // namespace
}  // namespace hv
