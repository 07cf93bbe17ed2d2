// The system calls behind the seam: texts, libraries, mutex, version,
// privileges, counter and the user's formats.
#include <gtest/gtest.h>

#include <string>

#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

TEST(LoadText, EveryTextOfTheListIsInTheStringTable) {
  struct Entry {
    uint32_t id;
    const char* text;
  };
  const Entry entries[] = {
#define HV_TEXT(name, id, text) {id, text},
#include "common/Texts.def"
  };
  ASSERT_GT(std::size(entries), 50u);
  for (const Entry& e : entries) EXPECT_EQ(test::Platform().LoadText(e.id), e.text) << e.id;
}

TEST(LoadText, AnUnknownIdGivesTheEmptyText) {
  EXPECT_EQ(test::Platform().LoadText(64999), "");
}

std::string ExeFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// A copy of the simulator library made by the build for these tests.
std::string SimulatorDll() {
  return ExeFolder() + "simulator-cdecl\\Tempiva.dll";
}

// The folder the module was loaded from, with its separator; empty for none.
std::string LoadedFrom(ModuleHandle module) {
  char path[MAX_PATH] = {};
  if (!module) return {};
  GetModuleFileNameA(static_cast<HMODULE>(module), path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string CurrentFolder() {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  return folder;
}

TEST(LoadLibrary, SkipsTheCurrentFolderButSearchesTheProgramFolder) {
  const std::string besideExe = ExeFolder() + "Tempiva.dll";
  DeleteFileA(besideExe.c_str());
  ASSERT_EQ(GetModuleHandleA("Tempiva"), nullptr);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string id = std::to_string(GetCurrentProcessId());
  const std::string folder = std::string(temp) + "hv-cwd-" + id;
  const std::string onPath = std::string(temp) + "hv-path-" + id + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA(onPath.c_str(), nullptr);
  const std::string planted = folder + "\\Tempiva.dll";
  const std::string pathCopy = onPath + "Tempiva.dll";
  ASSERT_TRUE(CopyFileA(SimulatorDll().c_str(), planted.c_str(), FALSE)) << SimulatorDll();
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  char path[32768];
  const DWORD pathLength = GetEnvironmentVariableA("PATH", path, sizeof path);
  ASSERT_TRUE(pathLength > 0 && pathLength < sizeof path);
  ASSERT_TRUE(SetEnvironmentVariableA("PATH", (onPath + ";" + path).c_str()));
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  const std::string current = CurrentFolder();
  const auto setDllDirectory = dyn::Functions().SetDllDirectoryW;
  ASSERT_NE(setDllDirectory, nullptr);

  struct Case {
    const char* name;
    bool hasSetDllDirectory;  // Windows XP SP1 and later
    bool elevated;
    bool hasSearchFlags;  // LoadLibraryEx's LOAD_LIBRARY_SEARCH_... flags
  };
  const Case cases[] = {
      {"not elevated", true, false, true},
      {"not elevated, without SetDllDirectoryW", false, false, false},
      {"elevated", true, true, true},
      {"elevated, without the search flags", true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setDllDirectory(nullptr);  // the system's own order, current folder included
    test::PretendApi pretend([&](dyn::Api& api) {
      if (!c.hasSetDllDirectory) api.SetDllDirectoryW = nullptr;
      if (!c.hasSearchFlags) api.SetDefaultDllDirectories = nullptr;
      api.GetTokenInformation = c.elevated ? test::ElevatedTokenInformation : nullptr;
    });
    const auto load = [&] {
      ModuleHandle module = test::Platform().LoadLibrary("Tempiva");
      const std::string from = LoadedFrom(module);
      if (module) FreeLibrary(static_cast<HMODULE>(module));
      EXPECT_EQ(CurrentFolder(), current) << "the current folder stays";
      return from;
    };

    EXPECT_EQ(load(), "") << "a library in the current folder only is not loaded";
    ASSERT_TRUE(CopyFileA(SimulatorDll().c_str(), pathCopy.c_str(), FALSE));
    EXPECT_EQ(load(), c.elevated ? "" : onPath)
        << "a folder on PATH is searched by a process that is not elevated only";
    ASSERT_TRUE(CopyFileA(SimulatorDll().c_str(), besideExe.c_str(), FALSE));
    EXPECT_EQ(load(), ExeFolder()) << "the program's folder is searched first";
    DeleteFileA(pathCopy.c_str());
    DeleteFileA(besideExe.c_str());
  }

  ModuleHandle fromProgramFolder = nullptr;
  ASSERT_TRUE(CopyFileA(SimulatorDll().c_str(), besideExe.c_str(), FALSE));
  fromProgramFolder = test::Platform().LoadLibrary("Tempiva");
  EXPECT_NE(fromProgramFolder, nullptr) << "the program's folder is searched";
  EXPECT_NE(test::Platform().GetProcAddress(fromProgramFolder, "_NumInstalled"), nullptr);
  EXPECT_EQ(test::Platform().GetProcAddress(fromProgramFolder, "_NoSuchEntry"), nullptr);
  if (fromProgramFolder) FreeLibrary(static_cast<HMODULE>(fromProgramFolder));

  SetEnvironmentVariableA("PATH", path);
  SetCurrentDirectoryA(previous);
  DeleteFileA(besideExe.c_str());
  DeleteFileA(planted.c_str());
  RemoveDirectoryA(folder.c_str());
  RemoveDirectoryA(onPath.c_str());
}

TEST(CreateMutex, TheSecondCreationReportsThatItExisted) {
  const std::string name = "HoraviaTest-" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(test::Platform().CreateMutex(name.c_str(), true));
  EXPECT_NE(test::Platform().GetLastError(), kErrorAlreadyExists);
  ASSERT_TRUE(test::Platform().CreateMutex(name.c_str(), true));
  EXPECT_EQ(test::Platform().GetLastError(), kErrorAlreadyExists);
}

TEST(Version, TheNtFamilyAtVersionFiveOrLater) {
  EXPECT_EQ(test::Platform().StartupPlatformId(), kPlatformWin32NT);
  struct Case {
    uint32_t size;
    bool ok;
  };
  for (Case c : {Case{148, true}, Case{156, true}, Case{0, false}, Case{20, false}}) {
    SCOPED_TRACE(c.size);
    OsVersionInfo info;
    info.dwOSVersionInfoSize = c.size;
    EXPECT_EQ(test::Platform().GetVersionEx(info), c.ok);
    if (c.ok) {
      EXPECT_EQ(info.dwPlatformId, kPlatformWin32NT);
      EXPECT_GE(info.dwMajorVersion, 5u);
    }
  }
}

TEST(Privileges, TheSystemTimePrivilegeCanBeLookedUpAndAdjusted) {
  Platform& os = test::Platform();
  TokenHandle token = nullptr;
  ASSERT_TRUE(os.OpenProcessToken(kTokenAdjustPrivileges | kTokenQuery, token));
  ASSERT_NE(token, nullptr);
  Luid luid;
  ASSERT_TRUE(os.LookupPrivilegeValue("SeSystemtimePrivilege", luid));
  EXPECT_NE(luid.LowPart, 0u);
  Luid unknown;
  EXPECT_FALSE(os.LookupPrivilegeValue("SeNoSuchPrivilege", unknown));
  EXPECT_TRUE(os.AdjustTokenPrivilege(token, luid, kSePrivilegeEnabled));
  const uint32_t error = os.GetLastError();
  EXPECT_TRUE(error == 0 || error == kErrorNotAllAssigned) << error;
  os.CloseHandle(token);
}

TEST(PerformanceCounter, CountsForwardAtAKnownRate) {
  int64_t frequency = 0, first = 0, second = 0;
  ASSERT_TRUE(test::Platform().QueryPerformanceFrequency(frequency));
  EXPECT_GT(frequency, 0);
  ASSERT_TRUE(test::Platform().QueryPerformanceCounter(first));
  Sleep(5);
  ASSERT_TRUE(test::Platform().QueryPerformanceCounter(second));
  EXPECT_GE(second - first, frequency * 4 / 1000);
}

TEST(Formats, DatesAndTimesInTheUsersFormatsAndEmptyForNoDate) {
  SystemTime t;
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 29;
  t.wDayOfWeek = 0;
  t.wHour = 14;
  t.wMinute = 7;
  t.wSecond = 9;
  const std::string date = test::Platform().FormatShortDate(t);
  const std::string time = test::Platform().FormatLongTime(t);
  EXPECT_NE(date.find("29"), std::string::npos) << date;
  EXPECT_NE(date.find("26"), std::string::npos) << date;
  EXPECT_NE(time.find("07"), std::string::npos) << time;
  EXPECT_NE(time.find("09"), std::string::npos) << time;

  SystemTime impossible = t;
  impossible.wMonth = 13;
  EXPECT_EQ(test::Platform().FormatShortDate(impossible), "");
  impossible = t;
  impossible.wHour = 25;
  EXPECT_EQ(test::Platform().FormatLongTime(impossible), "");
}

TEST(Clock, LocalTimeIsADate) {
  const SystemTime now = test::Platform().GetLocalTime();
  EXPECT_GE(now.wYear, 2000);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
}

}  // namespace
}  // namespace hv
