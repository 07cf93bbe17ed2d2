// Drives a running Horavia.exe from another process: start it, find its windows, read and click.
//
// Everything here works across processes under Wine and on Windows: window texts through
// WM_GETTEXT, BM_CLICK, TCM_SETCURFOCUS (the tab control then notifies its own parent), sent
// messages with a timeout so that a hung program cannot hang the caller. Every wait polls with
// short sleeps and throws probe::Error naming what it waited for when its time runs out.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace probe {

// A first start in a fresh Wine prefix can take this long before the first window appears.
constexpr DWORD kStartTimeoutMs = 30000;
// Waits for things that follow directly from an action (a box, a text, an exit).
constexpr DWORD kActionTimeoutMs = 10000;
// Timeout of a single sent message.
constexpr DWORD kSendTimeoutMs = 10000;
// Poll interval of every wait.
constexpr DWORD kPollMs = 25;

constexpr int kMessageBoxTextId = 65535;  // the static holding a message box's text
constexpr int kButtonOk = 1;              // IDOK
constexpr int kButtonCancel = 2;          // IDCANCEL

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An environment change for a started process: a value, or std::nullopt to remove the variable.
using EnvChange = std::pair<std::string, std::optional<std::string>>;

// A started process. Owns its handle; destruction neither waits for nor ends the process.
class Process {
 public:
  Process() = default;
  Process(DWORD pid, HANDLE handle) : pid_(pid), handle_(handle) {}
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& other) noexcept { *this = std::move(other); }
  Process& operator=(Process&& other) noexcept;
  ~Process();

  // Opens a running process by id (for the command-line probe); throws when it cannot.
  static Process Open(DWORD pid);

  DWORD pid() const { return pid_; }
  explicit operator bool() const { return handle_ != nullptr; }
  bool Running() const;
  // The exit code once the process has ended within `timeout_ms`, else std::nullopt.
  std::optional<DWORD> WaitExit(DWORD timeout_ms) const;
  // Ends the process if it still runs and waits until it has gone. Never throws.
  void Kill() const;

 private:
  DWORD pid_ = 0;
  HANDLE handle_ = nullptr;
};

// Starts `exe` (a Windows path) in `workdir` with the current environment plus `env`.
// Throws when CreateProcessA fails.
Process Start(const std::string& exe, const std::string& workdir,
              const std::vector<EnvChange>& env = {});

// Builds the environment block for Start: the current variables with `env` applied, sorted
// case-insensitively by name, each "NAME=value\0", the block ending in a second "\0".
std::string MergedEnvironmentBlock(const std::vector<EnvChange>& env);

// Top-level windows of process `pid` (0: of any process) whose caption is `caption`, message
// boxes (class #32770) excluded. Visible or not.
std::vector<HWND> FindTopWindows(DWORD pid, const std::string& caption);
// Waits for such a window that has a descendant with control id `with_control` (unless 0):
// several windows may share a caption, and a window gets its children after it exists.
HWND WaitTopWindow(DWORD pid, const std::string& caption, int with_control,
                   DWORD timeout_ms = kStartTimeoutMs);

// The descendant of `parent` with control id `id`, searched through all levels; nullptr if none.
HWND FindControl(HWND parent, int id);
// Like FindControl, but throws naming the id when there is none.
HWND Control(HWND parent, int id);
// Waits until `parent` has a descendant with control id `id` (a window gets its children
// after it exists).
HWND WaitControl(HWND parent, int id, DWORD timeout_ms = kActionTimeoutMs);

// The window's text through WM_GETTEXT (answered by the owning process).
std::string Text(HWND window);
// Waits until the window's text satisfies `done`; returns that text.
std::string WaitText(HWND window, const std::function<bool(const std::string&)>& done,
                     const std::string& what, DWORD timeout_ms = kActionTimeoutMs);
// Waits until the window's text is not empty.
std::string WaitNonEmptyText(HWND window, const std::string& what,
                             DWORD timeout_ms = kActionTimeoutMs);

bool Visible(HWND window);
// Waits until IsWindowVisible(window) equals `visible`.
void WaitVisible(HWND window, bool visible, const std::string& what,
                 DWORD timeout_ms = kActionTimeoutMs);
RECT WindowRect(HWND window);
std::string ClassName(HWND window);

// SendMessageTimeout; throws when the message was not answered in time. A window that goes
// away while handling it (a close button) counts as answered.
LRESULT Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
             DWORD timeout_ms = kSendTimeoutMs);
// Presses a button as a mouse click does (BM_CLICK).
void Click(HWND button);
// Makes page `index` current as a user's click does (TCM_SETCURFOCUS), and the selected one.
void SelectTab(HWND tab_control, int index);
int CurrentTab(HWND tab_control);

// Visible message boxes (#32770 top-level windows) of process `pid` (0: of any process).
std::vector<HWND> MessageBoxes(DWORD pid);
HWND WaitMessageBox(DWORD pid, DWORD timeout_ms = kActionTimeoutMs);
// The box's message text (its static 65535).
std::string MessageBoxText(HWND box);
// Ids of the box's visible buttons, in window order.
std::vector<int> MessageBoxButtons(HWND box);
// Clicks the box's button with id `button_id`; throws when the box has no such visible button.
void PressMessageBoxButton(HWND box, int button_id);

// Whether process `pid` has a module of the file name `module_name` (case-insensitive) loaded.
bool HasModule(DWORD pid, const std::string& module_name);

// The Windows version Wine reports to one executable (`exe_name` like "Horavia.exe"):
// "win98", "nt40", ... kept in HKCU\Software\Wine\AppDefaults\<exe>\Version. Empty deletes it.
void SetWineVersion(const std::string& exe_name, const std::string& version);

// Sets the Wine version of an executable for its lifetime and deletes the setting again.
class WineVersionOverride {
 public:
  WineVersionOverride(std::string exe_name, const std::string& version);
  WineVersionOverride(const WineVersionOverride&) = delete;
  WineVersionOverride& operator=(const WineVersionOverride&) = delete;
  ~WineVersionOverride();

 private:
  std::string exe_name_;
};

// A Unix path as Wine's drive Z: shows it ("/a/b" -> "Z:\a\b"); Windows paths are kept, with
// forward slashes turned into backslashes.
std::string WindowsPath(std::string path);
// The whole file, or std::nullopt when it cannot be opened.
std::optional<std::string> ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);

// The current user's application-data folder (shell folder 26), without a trailing backslash.
std::string AppDataFolder();

// Milliseconds of a monotonic clock.
ULONGLONG NowMs();

}  // namespace probe
