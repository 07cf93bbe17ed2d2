// Fixture of the end-to-end tests: folders, copies of the built files, started programs.
#include "tests/e2e/E2eFixture.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/ControlIds.h"

namespace e2e {

namespace fs = std::filesystem;

namespace {

// Paths of the built files, given by the build as Unix paths.
#ifndef HV_E2E_HORAVIA_EXE
#error "HV_E2E_HORAVIA_EXE must name the built Horavia.exe"
#endif

std::string BuiltFile(const char* unix_path) {
  return probe::WindowsPath(unix_path);
}

// Copies `from` to `to`, replacing what is there. MinGW's copy_file cannot replace a file under
// Wine (with overwrite_existing it still fails with "File exists"), so the old one goes first.
void CopyOver(const std::string& from, const std::string& to) {
  fs::remove(to);
  fs::copy_file(from, to);
}

std::string DllSource(Dll dll) {
  switch (dll) {
    case Dll::kCdecl:
      return BuiltFile(HV_E2E_DLL_CDECL);
    case Dll::kStdcall:
      return BuiltFile(HV_E2E_DLL_STDCALL);
    case Dll::kMissing:
      return BuiltFile(HV_E2E_DLL_MISSING);
    case Dll::kNone:
      break;
  }
  return "";
}

// The folder all tests lay out their own folders in: HV_E2E_WORK, else the temp folder.
std::string WorkFolder() {
  if (const char* work = std::getenv("HV_E2E_WORK"); work && *work) {
    return probe::WindowsPath(work);
  }
  char temp[MAX_PATH] = {0};
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + "horavia-e2e";
}

// Nothing of a previous, interrupted run may change what the program sees.
class CleanWineSettings : public ::testing::Environment {
 public:
  void SetUp() override { probe::SetWineVersion(kExeName, ""); }
};

const auto* const kCleanWineSettings = ::testing::AddGlobalTestEnvironment(new CleanWineSettings);

}  // namespace

std::vector<Call> ParseCallLog(const std::string& text) {
  std::vector<Call> calls;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Call call;
    std::string arrow, result;
    if (!(fields >> call.ms >> call.entry >> call.args >> arrow >> result) || arrow != "->") {
      continue;
    }
    call.fault = result == "fault";
    char* end = nullptr;
    call.result = std::strtol(result.c_str(), &end, 10);
    if (call.fault || (end != result.c_str() && *end == '\0')) calls.push_back(call);
  }
  return calls;
}

std::vector<std::string> TempivaOnSearchPath() {
  std::vector<std::string> folders;
  char system[MAX_PATH] = {0};
  GetSystemDirectoryA(system, MAX_PATH);
  folders.push_back(system);
  char windows[MAX_PATH] = {0};
  GetWindowsDirectoryA(windows, MAX_PATH);
  folders.push_back(windows);
  if (const char* path = std::getenv("PATH")) {
    std::istringstream entries(path);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
      if (!entry.empty()) folders.push_back(entry);
    }
  }
  std::vector<std::string> found;
  for (const std::string& folder : folders) {
    if (probe::FileExists(folder + "\\" + kDllName)) found.push_back(folder);
  }
  return found;
}

long long LocalMinusUtcMs() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  FILETIME u, l;
  SystemTimeToFileTime(&utc, &u);
  SystemTimeToFileTime(&local, &l);
  auto ticks = [](FILETIME f) {
    return static_cast<long long>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
  };
  const long long ms = (ticks(l) - ticks(u)) / 10000;
  return std::llround(ms / 900000.0) * 900000;  // whole quarter hours
}

long long UtcNowMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const long long ticks = static_cast<long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  return (ticks - 116444736000000000LL) / 10000;  // 100 ns since 1601 to ms since 1970
}

long long OffsetReaching(long long at_ms, long long period_ms, long long base_ms,
                         long long lead_ms) {
  const long long then = UtcNowMs() + lead_ms + base_ms;
  return base_ms + ((at_ms - then) % period_ms + period_ms) % period_ms;
}

int SecondsOfDay(const std::string& text) {
  int h = 0, m = 0, s = 0;
  char half[3] = {};
  const int fields = std::sscanf(text.c_str(), "%d:%d:%d %2s", &h, &m, &s, half);
  if (fields < 3) return -1;
  if (fields == 4) h = h % 12 + (std::string(half) == "PM" ? 12 : 0);
  return h * 3600 + m * 60 + s;
}

int NowSecondsOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
}

int SecondsApart(int a, int b) {
  const int d = std::abs(a - b) % 86400;
  return std::min(d, 86400 - d);
}

void WaitUntil(const std::function<bool()>& ready, const std::string& what, DWORD timeout_ms) {
  const ULONGLONG deadline = probe::NowMs() + timeout_ms;
  while (!ready()) {
    if (probe::NowMs() >= deadline) {
      throw probe::Error("timed out after " + std::to_string(timeout_ms) + " ms waiting for " +
                         what);
    }
    Sleep(probe::kPollMs);
  }
}

void PostClick(HWND button) {
  if (!PostMessageA(button, BM_CLICK, 0, 0)) {
    throw probe::Error("posting a click failed (error " + std::to_string(GetLastError()) + ")");
  }
}

bool TrayIconPresent(HWND owner, UINT id) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = owner;
  data.uID = id;
  data.uFlags = 0;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

std::vector<HWND> WineTrayIcons() {
  std::vector<HWND> icons;
  HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
  if (!tray || !IsWindowVisible(tray)) return icons;
  for (HWND icon = nullptr; (icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr));) {
    if (IsWindowVisible(icon)) icons.push_back(icon);
  }
  return icons;
}

void HoraviaTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) c = c == '/' ? '_' : c;
  root_ = WorkFolder() + "\\" + name;
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  fs::create_directories(root_);

  ASSERT_TRUE(probe::FileExists(BuiltFile(HV_E2E_HORAVIA_EXE)))
      << "Horavia.exe is not built: " << BuiltFile(HV_E2E_HORAVIA_EXE);
  ASSERT_TRUE(probe::FindTopWindows(0, kCaption).empty())
      << "a Horavia window of an earlier test or run is still open";
  WriteSettings(kSettingsAfterFirstRun);
}

void HoraviaTest::TearDown() {
  for (const probe::Process& process : started_) process.Kill();
  started_.clear();
}

std::string HoraviaTest::Folder(const std::string& name) const {
  const std::string path = Path(name);
  fs::create_directories(path);
  return path;
}

void HoraviaTest::PutDll(const std::string& folder, Dll dll) const {
  if (dll == Dll::kNone) return;
  CopyOver(DllSource(dll), folder + "\\" + kDllName);
}

void HoraviaTest::PutProgram(const std::string& folder, Dll dll) const {
  CopyOver(BuiltFile(HV_E2E_HORAVIA_EXE), folder + "\\" + kExeName);
  PutDll(folder, dll);
}

void HoraviaTest::WriteFile(const std::string& path, const std::string& text) const {
  std::ofstream(path, std::ios::binary) << text;
}

std::string HoraviaTest::SettingsPath() const {
  return probe::AppDataFolder() + "\\" + kSettingsName;
}

void HoraviaTest::DeleteSettings() const {
  const std::string path = SettingsPath();
  if (DeleteFileA(path.c_str())) return;
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND) {
    ADD_FAILURE() << "cannot delete " << path << " (error " << error << ")";
  }
}

void HoraviaTest::WriteSettings(const std::string& text) const {
  fs::create_directories(probe::AppDataFolder());
  WriteFile(SettingsPath(), text);
}

probe::Process& HoraviaTest::Launch(const std::string& folder, const std::string& scenario,
                                    const std::string& log, const std::string& workdir,
                                    std::vector<probe::EnvChange> env) {
  auto value = [](const std::string& s) {
    return s.empty() ? std::nullopt : std::optional<std::string>(s);
  };
  env.push_back({"TEMPIVA_SCENARIO", value(scenario)});
  env.push_back({"TEMPIVA_LOG", value(log)});
  started_.push_back(
      probe::Start(folder + "\\" + kExeName, workdir.empty() ? folder : workdir, env));
  return started_.back();
}

HWND HoraviaTest::MainWindow(const probe::Process& process) const {
  // The notice window shares the caption; the main window is the one with the pages.
  return probe::WaitTopWindow(process.pid(), kCaption, hv::ctl::TabbedNotebook1);
}

HWND HoraviaTest::StartedWindow(const probe::Process& process) const {
  HWND window = MainWindow(process);
  WaitUntil([&] { return TrayIconPresent(window); }, "the program's tray icon",
            probe::kStartTimeoutMs);
  return window;
}

std::string HoraviaTest::PanelMsg(HWND main_window) const {
  return probe::WaitNonEmptyText(probe::WaitControl(main_window, hv::ctl::PanelMsg),
                                 "PanelMsg to be set");
}

std::vector<Call> HoraviaTest::Calls(const std::string& path) const {
  return ParseCallLog(probe::ReadTextFile(path).value_or(""));
}

}  // namespace e2e
