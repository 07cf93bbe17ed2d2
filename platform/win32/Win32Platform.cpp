// The Win32 calls behind each operation of the platform seam.
#include "platform/win32/Win32Platform.h"

#include <optional>
#include <string>

#include "platform/win32/CallShim.h"
#include "platform/win32/DynamicApi.h"
#include "platform/win32/MessageBoxes.h"

namespace hv {

namespace {

static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));

SYSTEMTIME ToWin32(const SystemTime& t) {
  return SYSTEMTIME{t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                    t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
}

SystemTime FromWin32(const SYSTEMTIME& t) {
  return SystemTime{t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                    t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
}

// Keeps the error code of the wrapped call across the bookkeeping after it.
class PreserveLastError {
 public:
  PreserveLastError() : error_(::GetLastError()) {}
  ~PreserveLastError() { ::SetLastError(error_); }

 private:
  DWORD error_;
};

// "C:\Program Files\Horavia\": the folder of the program's executable,
// with its separator; empty when it cannot be told. Read wide, so that a
// folder whose name the ANSI code page cannot spell works too.
std::wstring ProgramFolder() {
  std::wstring path = ModulePath(nullptr);
  if (path.empty()) return {};
  path.erase(path.find_last_of(L"\\/") + 1);
  return path;
}

// "C:\Windows\system32\", with its separator; empty when it cannot be told.
std::wstring SystemFolder() {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(system, length) + L"\\" : std::wstring();
}

// An elevated process loads the library from the program's folder and the
// system folder only: any program of the user can write to a folder on PATH
// (since Windows 10 one in the user's profile is there). With the search
// flags the same holds for the library's own dependencies; without them
// (Vista and 7 before their loader update) it is loaded by full path, and
// only its dependencies are looked for as usual.
HMODULE LoadFromProtectedFolders(const char* name, const std::wstring& programFolder) {
  std::wstring file = Widen(name, CP_ACP);
  if (dyn::Functions().SetDefaultDllDirectories)
    return LoadLibraryExW(file.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (file.find(L'.') == std::wstring::npos) file += L".dll";
  for (const std::wstring& folder : {programFolder, SystemFolder()}) {
    if (folder.empty()) continue;
    if (HMODULE module =
            LoadLibraryExW((folder + file).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
      return module;
  }
  return nullptr;
}

// The token's elevation; none where the system knows no elevation (before
// Vista) or cannot tell.
std::optional<bool> TokenIsElevated() {
  auto getInformation = dyn::Functions().GetTokenInformation;
  HANDLE token = nullptr;
  if (!getInformation || !::OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return std::nullopt;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool known =
      getInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != FALSE;
  ::CloseHandle(token);
  if (!known) return std::nullopt;
  return elevation.TokenIsElevated != 0;
}

// Whether the process holds the Administrators group, enabled.
bool InAdministratorsGroup() {
  auto checkMembership = dyn::Functions().CheckTokenMembership;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!checkMembership ||
      !AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &administrators))
    return false;
  BOOL member = FALSE;
  const bool ok = checkMembership(nullptr, administrators, &member) != FALSE;
  FreeSid(administrators);
  return ok && member;
}

}  // namespace

std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);  // cut short (XP does not even say so): more room
  }
}

bool ProcessElevated() {
  return TokenIsElevated().value_or(false);
}

bool ProcessHasFullRights() {
  const std::optional<bool> elevated = TokenIsElevated();
  return elevated ? *elevated : InAdministratorsGroup();
}

void ConfineLibrarySearch() {
  if (!ProcessHasFullRights()) return;
  const dyn::Api& api = dyn::Functions();
  if (api.SetDefaultDllDirectories &&
      api.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                   LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) return;
  // The DLL directory takes the current folder's place in the order; PATH
  // stays. (The empty one means the same on Windows, but some loaders, Wine's
  // among them, read it as "not set".)
  if (api.SetDllDirectoryW && api.SetDllDirectoryW(folder.c_str())) return;
  // Windows 2000 and XP before SP1: the current folder and PATH are in the
  // order for good. The program's folder stays the current one, and PATH
  // names only the system's folders, which are searched anyway.
  SetCurrentDirectoryW(folder.c_str());
  std::wstring path = SystemFolder();
  if (!path.empty()) path.pop_back();  // without the separator
  wchar_t windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length > 0 && length < MAX_PATH) path += L";" + std::wstring(windows, length);
  SetEnvironmentVariableW(L"PATH", path.c_str());
}

Win32Platform::Win32Platform() {
  if (auto setAware = dyn::Functions().SetProcessDPIAware) setAware();
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (GetVersionExA(&version)) startupPlatformId_ = version.dwPlatformId;
}

Win32Platform::~Win32Platform() {
  if (eventSource_) DeregisterEventSource(eventSource_);
}

SystemTime Win32Platform::GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FromWin32(now);
}

bool Win32Platform::SetLocalTime(const SystemTime& time) {
  const SYSTEMTIME t = ToWin32(time);
  return ::SetLocalTime(&t) != FALSE;
}

uint32_t Win32Platform::GetLastError() {
  return ::GetLastError();
}

bool Win32Platform::GetVersionEx(OsVersionInfo& info) {
  // Room for the extended record; the caller's size field picks the form.
  OSVERSIONINFOEXA version{};
  if (info.dwOSVersionInfoSize > sizeof(version)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  version.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
  info.dwMajorVersion = version.dwMajorVersion;
  info.dwMinorVersion = version.dwMinorVersion;
  info.dwBuildNumber = version.dwBuildNumber;
  info.dwPlatformId = version.dwPlatformId;
  return true;
}

bool Win32Platform::OpenProcessToken(uint32_t desiredAccess, TokenHandle& token) {
  HANDLE handle = nullptr;
  const bool ok = ::OpenProcessToken(GetCurrentProcess(), desiredAccess, &handle) != FALSE;
  token = ok ? handle : nullptr;
  return ok;
}

bool Win32Platform::LookupPrivilegeValue(const char* name, Luid& luid) {
  LUID value{};
  const bool ok = LookupPrivilegeValueA(nullptr, name, &value) != FALSE;
  luid.LowPart = value.LowPart;
  luid.HighPart = value.HighPart;
  return ok;
}

bool Win32Platform::AdjustTokenPrivilege(TokenHandle token, const Luid& luid, uint32_t attributes) {
  TOKEN_PRIVILEGES newState{};
  newState.PrivilegeCount = 1;
  newState.Privileges[0].Luid.LowPart = luid.LowPart;
  newState.Privileges[0].Luid.HighPart = luid.HighPart;
  newState.Privileges[0].Attributes = attributes;
  static_assert(sizeof(TOKEN_PRIVILEGES) == 16);
  TOKEN_PRIVILEGES previous{};  // 16 bytes, discarded
  DWORD returnLength = 0;
  return ::AdjustTokenPrivileges(token, FALSE, &newState, sizeof(previous), &previous,
                                 &returnLength) != FALSE;
}

void Win32Platform::CloseHandle(TokenHandle handle) {
  ::CloseHandle(handle);
}

bool Win32Platform::QueryPerformanceFrequency(int64_t& frequency) {
  LARGE_INTEGER value{};
  const bool ok = ::QueryPerformanceFrequency(&value) != FALSE;
  frequency = value.QuadPart;
  return ok;
}

bool Win32Platform::QueryPerformanceCounter(int64_t& count) {
  LARGE_INTEGER value{};
  const bool ok = ::QueryPerformanceCounter(&value) != FALSE;
  count = value.QuadPart;
  return ok;
}

ModuleHandle Win32Platform::LoadLibrary(const char* name) {
  // The library's start-up code runs inside the load, outside the call shim.
  KeepFloatingPoint keep;
  const std::wstring folder = ProgramFolder();
  if (ProcessElevated()) return LoadFromProtectedFolders(name, folder);

  // The current folder leaves the search order, so that a library planted
  // there is not loaded; the program's folder, the system folders and PATH
  // stay. A DLL directory replaces the current folder in the order; it is
  // the program's own folder, searched first anyway. (The empty directory
  // means the same on Windows, but Wine takes it as "reset".)
  if (auto setDllDirectory = dyn::Functions().SetDllDirectoryW) {
    setDllDirectory(folder.c_str());
    return LoadLibraryA(name);
  }
  // Before SetDllDirectoryW, the current folder is searched (right after
  // the program's folder unless SafeDllSearchMode is on): for the load it is
  // the program's folder.
  std::wstring current(GetCurrentDirectoryW(0, nullptr), L'\0');
  const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
  if (length == 0 || length >= current.size() || folder.empty() ||
      !SetCurrentDirectoryW(folder.c_str()))
    return nullptr;  // not loaded rather than looked for in the current folder
  HMODULE module = LoadLibraryA(name);
  PreserveLastError keepError;
  SetCurrentDirectoryW(current.c_str());
  return module;
}

ProcAddress Win32Platform::GetProcAddress(ModuleHandle module, const char* name) {
  return reinterpret_cast<ProcAddress>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

int32_t Win32Platform::CallProc(ProcAddress proc, void* argument) {
  return CallWithOneArgument(proc, argument);
}

bool Win32Platform::CreateMutex(const char* name, bool initialOwner) {
  HANDLE mutex = CreateMutexA(nullptr, initialOwner, name);
  if (!mutex) return false;
  PreserveLastError keep;  // tells whether the mutex already existed
  mutexes_.push_back(mutex);
  return true;
}

void Win32Platform::MessageBeep(uint32_t type) {
  ::MessageBeep(type);
}

int Win32Platform::MessageBox(const std::string& text, const std::string& caption,
                              MessageBoxKind kind, MessageBoxButtons buttons) {
  windows_.BeginModal();
  const int result = ShowMessageBox(windows_.ApplicationWindow(), text, caption, kind, buttons);
  windows_.EndModal();
  return result;
}

std::string Win32Platform::LoadText(uint32_t id) {
  char buffer[1024];
  const int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
  return std::string(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

std::string Win32Platform::FormatShortDate(const SystemTime& time) {
  const SYSTEMTIME t = ToWin32(time);
  char buffer[128];
  const int length =
      GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, sizeof(buffer));
  return length > 0 ? std::string(buffer) : std::string();
}

std::string Win32Platform::FormatLongTime(const SystemTime& time) {
  const SYSTEMTIME t = ToWin32(time);
  char buffer[128];
  const int length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, buffer, sizeof(buffer));
  return length > 0 ? std::string(buffer) : std::string();
}

void Win32Platform::SetApplicationTitle(const std::string& title) {
  windows_.SetApplicationTitle(title);
}

void Win32Platform::RealizeForm(TForm& form) {
  windows_.RealizeForm(form);
}
void Win32Platform::UpdateFormWindow(TForm& form) {
  windows_.UpdateFormWindow(form);
}
void Win32Platform::BringToFront(TForm& form) {
  windows_.BringToFront(form);
}
void Win32Platform::FlashForm(TForm& form) {
  windows_.FlashForm(form);
}
void Win32Platform::DestroyFormWindow(TForm& form) {
  windows_.DestroyFormWindow(form);
}

void Win32Platform::SetTimer(TForm& form, uint32_t id, uint32_t interval) {
  windows_.SetTimer(form, id, interval);
}

void Win32Platform::KillTimer(TForm& form, uint32_t id) {
  windows_.KillTimer(form, id);
}

void Win32Platform::RunMessageLoop() {
  windows_.RunMessageLoop();
}
void Win32Platform::WaitAndProcessMessages() {
  windows_.WaitAndProcessMessages();
}
void Win32Platform::Quit() {
  windows_.Quit();
}
bool Win32Platform::Terminated() {
  return windows_.Terminated();
}

}  // namespace hv
