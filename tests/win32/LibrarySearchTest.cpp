// Where a process with an administrator's full rights looks for the
// libraries loaded by name after start (by the program or by the receiver's
// library), on each kind of system. The search is set for the whole process
// and for good: each kind runs in a process of its own, picked by the test
// filter. The executable lies in a folder whose name no ANSI code page
// spells, so that every use of the program's folder is a wide one.
#include <gtest/gtest.h>

#include <string>

#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

std::wstring FolderOf(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  std::wstring text = folder;
  return text.back() == L'\\' ? text : text + L"\\";
}

// The folder a library loaded by this name comes from; empty for none.
std::wstring LoadedFrom(const char* name) {
  HMODULE module = LoadLibraryA(name);
  if (!module) return {};
  const std::wstring folder = FolderOf(module);
  FreeLibrary(module);
  return folder;
}

BOOL WINAPI Administrator(HANDLE, PSID, PBOOL member) {
  *member = TRUE;
  return TRUE;
}
BOOL WINAPI NotAdministrator(HANDLE, PSID, PBOOL member) {
  *member = FALSE;
  return TRUE;
}

struct Kind {
  bool searchFlags;   // SetDefaultDllDirectories: Windows 8, 7 and Vista with their update
  bool dllDirectory;  // SetDllDirectoryW: XP SP1 and later
  bool elevation;     // the token tells its elevation: Vista and later
};

class LibrarySearch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dyn::Functions().SetDefaultDllDirectories, nullptr);
    ASSERT_NE(dyn::Functions().SetDllDirectoryW, nullptr);
    BOOL unspellable = FALSE;
    char ansi[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, exe_.c_str(), -1, ansi, MAX_PATH, nullptr, &unspellable);
    ASSERT_TRUE(unspellable) << "the test needs a program folder outside the ANSI code page";

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    work_ = std::wstring(temp) + L"hv-search-work-" + id + L"\\";
    onPath_ = std::wstring(temp) + L"hv-search-path-" + id + L"\\";
    CreateDirectoryW(work_.c_str(), nullptr);
    CreateDirectoryW(onPath_.c_str(), nullptr);
    // Any library does as the one a user planted; the receiver simulator's is at hand.
    const std::wstring library = exe_ + L"Tempiva.dll";
    ASSERT_TRUE(CopyFileW(library.c_str(), (work_ + L"HvInWork.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(library.c_str(), (onPath_ + L"HvOnPath.dll").c_str(), FALSE));
    wchar_t path[32768];
    const DWORD length = GetEnvironmentVariableW(L"PATH", path, 32768);
    ASSERT_TRUE(length > 0 && length < 32768);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", (onPath_ + L";" + path).c_str()));
    ASSERT_TRUE(SetCurrentDirectoryW(work_.c_str()));
  }

  void TearDown() override {
    DeleteFileW((exe_ + L"HvInWork.dll").c_str());
    DeleteFileW((work_ + L"HvInWork.dll").c_str());
    DeleteFileW((onPath_ + L"HvOnPath.dll").c_str());
    RemoveDirectoryW(work_.c_str());
    RemoveDirectoryW(onPath_.c_str());
  }

  // Confines the search on a system of this kind and checks where libraries
  // come from then: `pathSearched` whether a folder on PATH still is.
  void Check(const Kind& kind, bool pathSearched) {
    {
      // Without full rights the system's own order stays, current folder included.
      test::PretendApi pretend([](dyn::Api& api) {
        api.GetTokenInformation = nullptr;
        api.CheckTokenMembership = NotAdministrator;
      });
      ConfineLibrarySearch();
      ASSERT_EQ(LoadedFrom("HvInWork"), work_);
      ASSERT_EQ(LoadedFrom("HvOnPath"), onPath_);
    }
    test::PretendApi pretend([&](dyn::Api& api) {
      if (!kind.searchFlags) api.SetDefaultDllDirectories = nullptr;
      if (!kind.dllDirectory) api.SetDllDirectoryW = nullptr;
      api.GetTokenInformation = kind.elevation ? test::ElevatedTokenInformation : nullptr;
      api.CheckTokenMembership = Administrator;
    });
    ConfineLibrarySearch();
    EXPECT_EQ(LoadedFrom("HvInWork"), L"") << "the current folder is not searched";
    EXPECT_EQ(LoadedFrom("HvOnPath"), pathSearched ? onPath_ : L"");
    EXPECT_EQ(LoadedFrom("version"), FolderOf(GetModuleHandleW(L"kernel32.dll")))
        << "the system folder is";
    ASSERT_TRUE(
        CopyFileW((work_ + L"HvInWork.dll").c_str(), (exe_ + L"HvInWork.dll").c_str(), FALSE));
    EXPECT_EQ(LoadedFrom("HvInWork"), exe_) << "and the program's folder";

    // The receiver's library, loaded as the program does it.
    ModuleHandle tempiva = test::Platform().LoadLibrary("Tempiva");
    EXPECT_EQ(tempiva ? FolderOf(static_cast<HMODULE>(tempiva)) : L"", exe_);
    if (tempiva) FreeLibrary(static_cast<HMODULE>(tempiva));
  }

  const std::wstring exe_ = FolderOf(nullptr);
  std::wstring work_;
  std::wstring onPath_;
};

TEST_F(LibrarySearch, WithTheSearchFlagsOnlyTheProgramAndSystemFolders) {
  Check({true, true, true}, false);
  EXPECT_EQ(CurrentFolder(), work_) << "the current folder is left alone";
}

// Vista and 7 without their loader update: the current folder leaves the
// order, PATH stays in it.
TEST_F(LibrarySearch, WithADllDirectoryOnlyTheCurrentFolderLeavesTheOrder) {
  Check({false, true, true}, true);
  EXPECT_EQ(CurrentFolder(), work_);
}

// Windows 2000 and XP before SP1, an administrator: the program's folder is
// the current one from now on, and PATH names the system's folders.
TEST_F(LibrarySearch, WithNeitherTheProgramFolderIsCurrentAndPathTheSystemFolders) {
  Check({false, false, false}, false);
  EXPECT_EQ(CurrentFolder(), exe_) << "also after loading the receiver's library";
  wchar_t path[32768] = {};
  GetEnvironmentVariableW(L"PATH", path, 32768);
  wchar_t system[MAX_PATH] = {}, windows[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(std::wstring(path), std::wstring(system) + L";" + windows);
}

}  // namespace
}  // namespace hv
