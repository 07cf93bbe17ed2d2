// The platform seam realised with the real Win32 calls.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/FormWindows.h"
#include "platform/win32/WinApi.h"

namespace hv {

// The shell's record as `ShellNotifyIcon` hands it over: the core's 88
// bytes, the rest of the structure zero.
NOTIFYICONDATAA NotifyIconData(const NotifyIconRecord& record);

// Text between UTF-16 and a code page (CP_UTF8, CP_ACP).
std::wstring Widen(const std::string& text, UINT codePage);
std::string Narrow(const std::wstring& wide, UINT codePage);

// The full path of a loaded module (null: the program), read wide and
// whole however long; empty when it cannot be told.
std::wstring ModulePath(HMODULE module);

// Whether the process runs with an elevated token (Vista and later); false
// where the system cannot tell.
bool ProcessElevated();

// Whether the process has an administrator's full rights: elevated, or,
// where the system knows no elevation (before Vista), holding the
// Administrators group enabled.
bool ProcessHasFullRights();

// For a process with full rights, and for the whole process: a library
// loaded by name later, by the program or by a library it loaded, is looked
// for in the program's folder and the system folder only, not in the current
// folder nor on PATH, which the user's other programs may write to. Where
// the system cannot confine the search so far (see the definition), as far
// as it can. Called once, before the program loads any library; cannot be
// undone.
void ConfineLibrarySearch();

// Has the desktop's shell open `link`, so that it runs as the desktop's
// user even from an elevated process; false when the shell cannot be
// reached or refuses. Loads COM on first use.
bool OpenAsDesktopUser(const std::wstring& link);

// What ShellOpen of an elevated process hands the link to: OpenAsDesktopUser,
// or a test's stand-in that records it. Returns the one it replaced; the
// program never calls it.
using DesktopOpener = bool (*)(const std::wstring& link);
DesktopOpener ReplaceDesktopOpener(DesktopOpener opener);

// One instance per process, created by the program entry (or a test's
// main) before anything else runs; it owns the application window and the
// windows of every realised form. Every operation reports failure the way
// the Win32 call it wraps does (false / null, details in GetLastError).
class Win32Platform : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;

  SystemTime GetLocalTime() override;
  bool SetLocalTime(const SystemTime& time) override;
  uint32_t GetLastError() override;
  uint32_t StartupPlatformId() override { return startupPlatformId_; }
  bool GetVersionEx(OsVersionInfo& info) override;
  bool OpenProcessToken(uint32_t desiredAccess, TokenHandle& token) override;
  bool LookupPrivilegeValue(const char* name, Luid& luid) override;
  bool AdjustTokenPrivilege(TokenHandle token, const Luid& luid, uint32_t attributes) override;
  void CloseHandle(TokenHandle handle) override;
  bool QueryPerformanceFrequency(int64_t& frequency) override;
  bool QueryPerformanceCounter(int64_t& count) override;
  ModuleHandle LoadLibrary(const char* name) override;
  ProcAddress GetProcAddress(ModuleHandle module, const char* name) override;
  int32_t CallProc(ProcAddress proc, void* argument) override;
  bool CreateMutex(const char* name, bool initialOwner) override;
  void MessageBeep(uint32_t type) override;
  int MessageBox(const std::string& text, const std::string& caption, MessageBoxKind kind,
                 MessageBoxButtons buttons) override;
  std::string LoadText(uint32_t id) override;
  std::string FormatShortDate(const SystemTime& time) override;
  std::string FormatLongTime(const SystemTime& time) override;
  std::string GetSpecialFolderPath(int csidl) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& file) override;
  bool WriteProfileString(const char* section, const char* key, const char* value,
                          const std::string& file) override;
  char DecimalSeparator() override;
  std::string Utf8ToAnsi(const std::string& text) override;
  bool ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record) override;
  HandleValue WindowHandleValue(TForm& form) override;
  HandleValue LoadSmallIcon(const std::string& resourceName) override;
  uint32_t RegisterWindowMessage(const char* name) override;
  void ShellOpen(const std::string& link) override;
  bool LoadVersionResource(std::vector<uint8_t>& block) override;
  std::string WideToAnsi(const std::u16string& text) override;
  bool ReportEvent(EventType type, uint32_t messageId,
                   const std::vector<std::string>& strings) override;
  std::string LoadedLibraryPath(const char* name) override;
  void SetApplicationTitle(const std::string& title) override;
  void RealizeForm(TForm& form) override;
  void UpdateFormWindow(TForm& form) override;
  void BringToFront(TForm& form) override;
  void FlashForm(TForm& form) override;
  void SetTimer(TForm& form, uint32_t id, uint32_t interval) override;
  void KillTimer(TForm& form, uint32_t id) override;
  void RunMessageLoop() override;
  void WaitAndProcessMessages() override;
  void Quit() override;
  bool Terminated() override;

  // Not part of the seam: destroys a realised form's windows before the
  // form object goes away (forms of the program live as long as the process).
  void DestroyFormWindow(TForm& form);
  WindowLayer& Windows() { return windows_; }

 private:
  uint32_t startupPlatformId_ = 0;
  std::vector<HANDLE> mutexes_;   // open until the process ends
  HANDLE eventSource_ = nullptr;  // registered at the first event
  std::vector<BYTE> tokenUser_;   // the process user's TOKEN_USER, for each event
  WindowLayer windows_;
};

}  // namespace hv
