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

TEST(LoadLibrary, SkipsTheCurrentFolderButSearchesTheProgramFolder) {
  const std::string besideExe = ExeFolder() + "Tempiva.dll";
  DeleteFileA(besideExe.c_str());
  ASSERT_EQ(GetModuleHandleA("Tempiva"), nullptr);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "hv-cwd-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string planted = folder + "\\Tempiva.dll";
  ASSERT_TRUE(CopyFileA(SimulatorDll().c_str(), planted.c_str(), FALSE)) << SimulatorDll();
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));

  ModuleHandle fromCurrentFolder = test::Platform().LoadLibrary("Tempiva");
  EXPECT_EQ(fromCurrentFolder, nullptr) << "a library in the current folder is not loaded";
  if (fromCurrentFolder) FreeLibrary(static_cast<HMODULE>(fromCurrentFolder));

  ASSERT_TRUE(CopyFileA(SimulatorDll().c_str(), besideExe.c_str(), FALSE));
  ModuleHandle fromProgramFolder = test::Platform().LoadLibrary("Tempiva");
  EXPECT_NE(fromProgramFolder, nullptr) << "the program's folder is searched";
  EXPECT_NE(test::Platform().GetProcAddress(fromProgramFolder, "_NumInstalled"), nullptr);
  EXPECT_EQ(test::Platform().GetProcAddress(fromProgramFolder, "_NoSuchEntry"), nullptr);
  if (fromProgramFolder) FreeLibrary(static_cast<HMODULE>(fromProgramFolder));

  SetCurrentDirectoryA(previous);
  DeleteFileA(besideExe.c_str());
  DeleteFileA(planted.c_str());
  RemoveDirectoryA(folder.c_str());
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
