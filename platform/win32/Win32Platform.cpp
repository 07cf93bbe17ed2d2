// The Win32 calls behind each operation of the platform seam.
#include "platform/win32/Win32Platform.h"

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

}  // namespace

Win32Platform::Win32Platform() {
  if (auto setAware = dyn::Functions().SetProcessDPIAware) setAware();
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (GetVersionExA(&version)) startupPlatformId_ = version.dwPlatformId;
}

Win32Platform::~Win32Platform() = default;

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
  // The current folder leaves the search order, so that a library planted
  // there is not loaded; the program's folder, the system folders and PATH
  // stay. A DLL directory replaces the current folder in the order; it is
  // the program's own folder, searched first anyway. (The empty directory
  // means the same on Windows, but Wine takes it as "reset".) Systems
  // without SetDllDirectoryA keep their own order.
  if (auto setDllDirectory = dyn::Functions().SetDllDirectoryA) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      std::string folder(path, length);
      folder.erase(folder.find_last_of("\\/") + 1);
      setDllDirectory(folder.c_str());
    } else {
      setDllDirectory("");
    }
  }
  return LoadLibraryA(name);
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
