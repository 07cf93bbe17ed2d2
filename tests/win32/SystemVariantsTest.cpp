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

TEST(MessageFilter, ARegisteredMessageReachesEveryFormFromAProcessOfLowerIntegrity) {
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
    TForm after("After");
    test::Realized second(after);
    ASSERT_NE(second.Window(), nullptr);

    std::vector<HWND> windows;
    for (const FilterCall& call : filterCalls) {
      if (call.message != message) continue;
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

HRESULT WINAPI CommonControls580(DLLVERSIONINFO* version) {
  version->dwMajorVersion = 5;
  version->dwMinorVersion = 80;
  return S_OK;
}

TEST(CommonControls, TheClassesAreAskedForInTheFlagsTheLoadedVersionKnows) {
  const DWORD older = ICC_TAB_CLASSES | ICC_UPDOWN_CLASS;
  struct Case {
    DWORD major, minor, classes;
  };
  for (const Case c :
       {Case{4, 0, older}, Case{5, 80, older}, Case{5, 82, older},
        Case{6, 0, older | ICC_STANDARD_CLASSES}, Case{6, 16, older | ICC_STANDARD_CLASSES}}) {
    EXPECT_EQ(CommonControlClasses(c.major, c.minor), c.classes) << c.major << "." << c.minor;
  }
  // The library present answers; so does one that tells version 5.80.
  EXPECT_TRUE(InitCommonControlClasses());
  {
    test::PretendApi pretend([](dyn::Api& api) { api.DllGetVersion = CommonControls580; });
    EXPECT_TRUE(InitCommonControlClasses());
  }
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

TEST(ShellOpen, AnElevatedProcessLeavesTheLinkToTheDesktopsShell) {
  // Wine's desktop offers no shell windows to another process: there the
  // elevated route fails, and the link stays unopened.
  const std::string link = "https://horavia.example.com/";
  const bool comLoaded = GetModuleHandleA("ole32.dll") != nullptr;
  struct Case {
    const char* name;
    bool elevated;
  };
  for (const Case c : {Case{"not elevated", false}, Case{"elevated", true}}) {
    SCOPED_TRACE(c.name);
    shellExecuted.clear();
    test::PretendApi pretend([&](dyn::Api& api) {
      api.ShellExecuteA = RecordShellExecute;
      api.GetTokenInformation = c.elevated ? test::ElevatedTokenInformation : nullptr;
    });
    test::Platform().ShellOpen(link);
    if (!c.elevated) {
      EXPECT_EQ(shellExecuted, std::vector<std::string>{"open " + link});
      EXPECT_EQ(GetModuleHandleA("ole32.dll") != nullptr, comLoaded) << "COM stays out";
    } else {
      EXPECT_TRUE(shellExecuted.empty()) << "never opened from the elevated process";
      EXPECT_NE(GetModuleHandleA("ole32.dll"), nullptr) << "the desktop's shell was asked";
    }
  }
}

}  // namespace
}  // namespace hv
