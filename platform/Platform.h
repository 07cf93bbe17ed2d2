// The narrow seam between the portable core and the operating system.
//
// The core reaches the system only through `Platform`. The product runs on
// the Win32 implementation (platform/win32); the core tests run on the
// deterministic virtual one (platform/virtual). Every operation mirrors the
// Win32 call it stands for; failures are reported as the Win32 call reports
// them (false, null, or a value of `GetLastError`), never by exceptions. The
// one exception is a fault inside a receiver library call (`ELibraryFault`).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace hv {

class TForm;
class TControl;

// The Windows time record: eight 16-bit fields, local time unless stated.
// wDayOfWeek: 0 = Sunday .. 6 = Saturday as the system counts.
struct SystemTime {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};

// The fields of OSVERSIONINFOA that the program reads.
struct OsVersionInfo {
  uint32_t dwOSVersionInfoSize = 0;
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint32_t dwBuildNumber = 0;
  uint32_t dwPlatformId = 0;
};

struct Luid {
  uint32_t LowPart = 0;
  int32_t HighPart = 0;
};

enum class MessageBoxKind { Information, Warning, Error };
// The severities of the event log's entries, with the values of ReportEventW's wType.
enum class EventType : uint16_t { Error = 1, Warning = 2, Information = 4 };
enum class MessageBoxButtons { Ok, Cancel };

using ModuleHandle = void*;      // a loaded library; null = not loaded
using ProcAddress = void (*)();  // a resolved entry point; null = not found
using TokenHandle = void*;       // an access token; null = none

// A call of a library entry point that did not return: the library raised a
// processor or system exception (an access violation, an illegal
// instruction, a division fault, a stack overflow, ...) that it did not
// handle itself. The call's stack and registers are restored when this is
// thrown; the library stays loaded and may be called again.
class ELibraryFault : public std::runtime_error {
 public:
  // `code` is the system's exception code, 0 when the failure was no system
  // exception (an in-process library of the tests).
  ELibraryFault(uint32_t code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  uint32_t Code() const { return code_; }

 private:
  uint32_t code_;
};

// A window or icon handle as the system hands it over: as wide as a pointer
// of the build (32 bits on 32-bit Windows, 64 on 64-bit); 0 = none.
using HandleValue = uintptr_t;

// The fields of the shell's notification record in its first version (the
// one whose tip holds 64 bytes). The Win32 layer copies them field by field
// into the system's NOTIFYICONDATAA and sets its size, 88 bytes on 32-bit
// Windows. Fields an operation does not use are zero.
struct NotifyIconRecord {
  HandleValue window = 0;        // hWnd
  uint32_t id = 0;               // uID
  uint32_t flags = 0;            // uFlags
  uint32_t callbackMessage = 0;  // uCallbackMessage
  HandleValue icon = 0;          // hIcon
  std::array<char, 64> tip{};    // szTip, NUL-terminated
  bool operator==(const NotifyIconRecord&) const = default;
};

// Well-known values of the Win32 API that the core compares with.
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorNotAllAssigned = 1300;
constexpr uint32_t kErrorPrivilegeNotHeld = 1314;
constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWin32Windows = 1;
constexpr uint32_t kPlatformWin32NT = 2;
constexpr uint32_t kTokenAdjustPrivileges = 0x20;
constexpr uint32_t kTokenQuery = 0x08;
constexpr uint32_t kSePrivilegeEnabled = 2;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Clock -------------------------------------------------------------
  virtual SystemTime GetLocalTime() = 0;
  // Hands the record to the system as local time; true when it was accepted.
  virtual bool SetLocalTime(const SystemTime& time) = 0;

  // --- Error code of the last failing (or succeeding) call ----------------
  virtual uint32_t GetLastError() = 0;

  // --- Platform version ----------------------------------------------------
  // dwPlatformId as reported by the version query when the process started,
  // 0 if that query failed.
  virtual uint32_t StartupPlatformId() = 0;
  // Fills `info` (its size field is set by the caller); false on failure.
  virtual bool GetVersionEx(OsVersionInfo& info) = 0;

  // --- Access token and privileges ----------------------------------------
  virtual bool OpenProcessToken(uint32_t desiredAccess, TokenHandle& token) = 0;
  // Looks `name` up on the local system.
  virtual bool LookupPrivilegeValue(const char* name, Luid& luid) = 0;
  // AdjustTokenPrivileges with DisableAllPrivileges = false, a new state of
  // exactly one privilege, and a 16-byte previous-state buffer that is
  // discarded. Returns the call's result; `GetLastError` tells the rest.
  virtual bool AdjustTokenPrivilege(TokenHandle token, const Luid& luid, uint32_t attributes) = 0;
  virtual void CloseHandle(TokenHandle handle) = 0;

  // --- Performance counter (counts, counts per second) --------------------
  virtual bool QueryPerformanceFrequency(int64_t& frequency) = 0;
  virtual bool QueryPerformanceCounter(int64_t& count) = 0;

  // --- Libraries ------------------------------------------------------------
  // Loads by bare name with the system's search order, the current working
  // folder excluded. Null when the library cannot be loaded.
  virtual ModuleHandle LoadLibrary(const char* name) = 0;
  virtual ProcAddress GetProcAddress(ModuleHandle module, const char* name) = 0;
  // Calls an entry point with one pointer argument (null for entry points
  // that take none) whatever its calling convention (cdecl or stdcall);
  // returns the raw 32-bit result register. The caller's floating-point
  // control (x87 control word, SSE control/status) is the same afterwards,
  // whatever the entry point left behind. An exception raised inside the
  // entry point and not handled there throws `ELibraryFault`.
  virtual int32_t CallProc(ProcAddress proc, void* argument) = 0;

  // --- Single instance ----------------------------------------------------------
  // CreateMutexA without security attributes. The handle is kept by the
  // platform until the process ends; `GetLastError` tells whether it existed
  // (and, on failure, why: access denied when an elevated process holds it).
  virtual bool CreateMutex(const char* name, bool initialOwner) = 0;

  // --- Sounds, message boxes and texts -------------------------------------
  virtual void MessageBeep(uint32_t type) = 0;
  // Modal; returns the id of the button chosen (1 = OK, 2 = Cancel).
  virtual int MessageBox(const std::string& text, const std::string& caption, MessageBoxKind kind,
                         MessageBoxButtons buttons) = 0;
  // The string of the executable's string table with this id.
  virtual std::string LoadText(uint32_t id) = 0;
  // The user's short date and long time formats.
  virtual std::string FormatShortDate(const SystemTime& time) = 0;
  virtual std::string FormatLongTime(const SystemTime& time) = 0;

  // --- Settings file ---------------------------------------------------------------
  // The path of shell special folder `csidl`, empty when the folder cannot
  // be located. Paths here are UTF-8, so that a folder whose name the ANSI
  // code page cannot express still works.
  virtual std::string GetSpecialFolderPath(int csidl) = 0;
  // GetPrivateProfileString with an empty default into a 2048-byte buffer.
  virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& file) = 0;
  // WritePrivateProfileString of one value; with `section` null, the
  // flush of the cache for the file. False when the value was not written.
  virtual bool WriteProfileString(const char* section, const char* key, const char* value,
                                  const std::string& file) = 0;
  // The decimal separator of the user's regional settings at this moment,
  // '.' when they give none.
  virtual char DecimalSeparator() = 0;
  // A UTF-8 text (a path) in the ANSI code page, for showing it.
  virtual std::string Utf8ToAnsi(const std::string& text) = 0;

  // --- Tray, shell and version resource -------------------------------------------
  // Shell_NotifyIconA with operation 0 add, 1 modify, 2 delete; true when
  // the shell reports success.
  virtual bool ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record) = 0;
  // The window handle of a realised form (0 when not realised).
  virtual HandleValue WindowHandleValue(TForm& form) = 0;
  // The handle of a 16 x 16 icon resource by name (0 when missing).
  virtual HandleValue LoadSmallIcon(const std::string& resourceName) = 0;
  // RegisterWindowMessageA; 0 on failure.
  virtual uint32_t RegisterWindowMessage(const char* name) = 0;
  // ShellExecuteA(GetDesktopWindow(), "open", link, null, null, SW_SHOWNORMAL);
  // the result is not looked at.
  virtual void ShellOpen(const std::string& link) = 0;
  // The executable's version resource (type 16, id 1) as its bytes; false
  // when it is missing or cannot be loaded.
  virtual bool LoadVersionResource(std::vector<uint8_t>& block) = 0;
  // UTF-16 text in the ANSI code page.
  virtual std::string WideToAnsi(const std::u16string& text) = 0;

  // --- Event log --------------------------------------------------------------------
  // ReportEventW of the message `messageId` of the executable's message table
  // in the Application log, from the event source "Horavia" (registered with
  // RegisterEventSourceW at the first event), with the user's SID and
  // `strings` (UTF-8) as its insertion strings. False when it was not written.
  virtual bool ReportEvent(EventType type, uint32_t messageId,
                           const std::vector<std::string>& strings) = 0;
  // GetModuleFileNameW of the loaded library `name` (found as GetModuleHandleA
  // finds it), UTF-8; empty when no such library is loaded.
  virtual std::string LoadedLibraryPath(const char* name) = 0;

  // --- Windows ------------------------------------------------------------------
  // The application's own (owner) window, whose title is the taskbar entry.
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // Creates the form's window and a child window for every control; from
  // now on control changes reach the screen and user actions the core.
  virtual void RealizeForm(TForm& form) = 0;
  // Shows or hides the form's window as its `Visible` state says, and
  // moves it to its `Left`/`Top` with its client size.
  virtual void UpdateFormWindow(TForm& form) = 0;
  // Brings the application to the front (foreground window).
  virtual void BringToFront(TForm& form) = 0;
  // Asks for the user's attention to a shown form that the system may have
  // left behind other windows: FlashWindowEx on the form's caption and on
  // the application's taskbar entry, until it comes to the foreground.
  virtual void FlashForm(TForm& form) = 0;

  // --- Window timers ---------------------------------------------------------
  // (Re)starts timer `id` of `form` with `interval` ms; the form's
  // `DispatchTimer(id)` runs each time it elapses. KillTimer stops it and
  // drops a pending tick.
  virtual void SetTimer(TForm& form, uint32_t id, uint32_t interval) = 0;
  virtual void KillTimer(TForm& form, uint32_t id) = 0;

  // --- Message loop ---------------------------------------------------------------
  // Runs until `Quit` was called.
  virtual void RunMessageLoop() = 0;
  // Handles every pending message (timer ticks included) and returns; when
  // none was pending, first waits until one arrives. Returns at once once
  // `Quit` was called.
  virtual void WaitAndProcessMessages() = 0;
  // Ends the message loop after the current message (PostQuitMessage).
  virtual void Quit() = 0;
  // Whether `Quit` was called (or the system ended the loop).
  virtual bool Terminated() = 0;
};

// The platform the core runs on: installed once by the program entry (or by
// a test) before any unit initialises.
Platform& Os();
void InstallPlatform(Platform* platform);

}  // namespace hv
