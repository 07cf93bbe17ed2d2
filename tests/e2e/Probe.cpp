// Drives a running Horavia.exe from another process (see Probe.h).
#include "tests/e2e/Probe.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace probe {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return Lower(a) == Lower(b);
}

std::string Hex(const void* handle) {
  std::ostringstream out;
  out << "0x" << std::hex << reinterpret_cast<uintptr_t>(handle);
  return out.str();
}

std::string LastErrorText(const std::string& what) {
  return what + " failed (error " + std::to_string(GetLastError()) + ")";
}

DWORD WindowProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::string ProcessLabel(DWORD pid) {
  return pid ? "process " + std::to_string(pid) : "any process";
}

// Polls `ready` until it answers true or `timeout_ms` has passed; throws naming `what`.
void WaitFor(const std::function<bool()>& ready, const std::string& what, DWORD timeout_ms) {
  const ULONGLONG deadline = NowMs() + timeout_ms;
  for (;;) {
    if (ready()) return;
    if (NowMs() >= deadline) {
      throw Error("timed out after " + std::to_string(timeout_ms) + " ms waiting for " + what);
    }
    Sleep(kPollMs);
  }
}

// Window enumeration with a lambda: the system calls back through a stdcall function.
template <typename Visit>
BOOL CALLBACK VisitWindow(HWND window, LPARAM param) {
  (*reinterpret_cast<Visit*>(param))(window);
  return TRUE;
}

template <typename Visit>
void EachTopWindow(Visit visit) {
  EnumWindows(VisitWindow<Visit>, reinterpret_cast<LPARAM>(&visit));
}

// EnumChildWindows reaches the children's children as well.
template <typename Visit>
void EachDescendant(HWND parent, Visit visit) {
  EnumChildWindows(parent, VisitWindow<Visit>, reinterpret_cast<LPARAM>(&visit));
}

constexpr char kDialogClass[] = "#32770";
constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";

}  // namespace

// ---- Processes ----

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    if (handle_) CloseHandle(handle_);
    pid_ = std::exchange(other.pid_, 0);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Process::~Process() {
  if (handle_) CloseHandle(handle_);
}

Process Process::Open(DWORD pid) {
  HANDLE handle =
      OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!handle) throw Error(LastErrorText("opening process " + std::to_string(pid)));
  return Process(pid, handle);
}

bool Process::Running() const {
  return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitExit(DWORD timeout_ms) const {
  if (!handle_ || WaitForSingleObject(handle_, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(handle_, &code)) return std::nullopt;
  return code;
}

void Process::Kill() const {
  if (!Running()) return;
  TerminateProcess(handle_, 1);
  WaitForSingleObject(handle_, kActionTimeoutMs);
}

std::string MergedEnvironmentBlock(const std::vector<EnvChange>& env) {
  // Names compare case-insensitively, as Windows treats them; entries whose name starts with
  // '=' (the per-drive folders "=C:=...") are kept as they are and stay in front.
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
      return Lower(a) < Lower(b);
    }
  };
  std::vector<std::string> hidden;
  std::map<std::string, std::string, NoCase> vars;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += std::strlen(p) + 1) {
      const std::string entry(p);
      const size_t eq = entry.find('=', 1);
      if (entry[0] == '=' || eq == std::string::npos) {
        hidden.push_back(entry);
      } else {
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
      }
    }
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : env) {
    auto it = vars.find(name);
    if (it != vars.end()) vars.erase(it);
    if (value) vars[name] = *value;
  }
  std::string out;
  for (const std::string& entry : hidden) out.append(entry).push_back('\0');
  for (const auto& [name, value] : vars) out.append(name).append("=").append(value).push_back('\0');
  if (out.empty()) out.push_back('\0');
  out.push_back('\0');
  return out;
}

Process Start(const std::string& exe, const std::string& workdir,
              const std::vector<EnvChange>& env) {
  std::string block = MergedEnvironmentBlock(env);
  std::string command_line = "\"" + exe + "\"";
  // No standard handles: otherwise Wine hands the child this process's output, and a pipe
  // that a script or CTest reads from would stay open as long as the program runs.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, block.data(),
                      workdir.empty() ? nullptr : workdir.c_str(), &startup, &info)) {
    throw Error(LastErrorText("starting " + exe + " in " + workdir));
  }
  CloseHandle(info.hThread);
  return Process(info.dwProcessId, info.hProcess);
}

// ---- Windows ----

std::string ClassName(HWND window) {
  char name[256] = {0};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::vector<HWND> FindTopWindows(DWORD pid, const std::string& caption) {
  std::vector<HWND> found;
  EachTopWindow([&](HWND window) {
    if (pid && WindowProcess(window) != pid) return;
    if (ClassName(window) == kDialogClass) return;
    // For another process's window GetWindowText reads the stored caption without a message.
    char text[256] = {0};
    GetWindowTextA(window, text, sizeof text);
    if (caption == text) found.push_back(window);
  });
  return found;
}

HWND WaitTopWindow(DWORD pid, const std::string& caption, int with_control, DWORD timeout_ms) {
  HWND window = nullptr;
  std::string what = "the window \"" + caption + "\" of " + ProcessLabel(pid);
  if (with_control) what += " with a control " + std::to_string(with_control);
  WaitFor(
      [&] {
        for (HWND found : FindTopWindows(pid, caption)) {
          if (!with_control || FindControl(found, with_control)) {
            window = found;
            return true;
          }
        }
        return false;
      },
      what, timeout_ms);
  return window;
}

HWND FindControl(HWND parent, int id) {
  HWND found = nullptr;
  EachDescendant(parent, [&](HWND window) {
    if (!found && GetDlgCtrlID(window) == id) found = window;
  });
  return found;
}

HWND Control(HWND parent, int id) {
  HWND control = FindControl(parent, id);
  if (!control) throw Error("no control with id " + std::to_string(id) + " in " + Hex(parent));
  return control;
}

HWND WaitControl(HWND parent, int id, DWORD timeout_ms) {
  HWND control = nullptr;
  WaitFor([&] { return (control = FindControl(parent, id)) != nullptr; },
          "a control with id " + std::to_string(id) + " in " + Hex(parent), timeout_ms);
  return control;
}

LRESULT Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD timeout_ms) {
  DWORD_PTR result = 0;
  SetLastError(0);
  if (SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, timeout_ms, &result)) {
    return static_cast<LRESULT>(result);
  }
  const DWORD error = GetLastError();
  if (!IsWindow(window)) return 0;  // it went away while handling the message
  throw Error("message " + std::to_string(message) + " to " + Hex(window) +
              " not answered within " + std::to_string(timeout_ms) + " ms (error " +
              std::to_string(error) + ")");
}

std::string Text(HWND window) {
  // The text may change between the two messages: a buffer with room for one character more
  // than the length told, and again when the text filled it (it may have been cut short).
  for (;;) {
    const LRESULT length = std::max<LRESULT>(Send(window, WM_GETTEXTLENGTH, 0, 0), 0);
    std::string text(static_cast<size_t>(length) + 2, '\0');
    const LRESULT copied =
        Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    if (copied <= length) {
      text.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
      return text;
    }
  }
}

std::string WaitText(HWND window, const std::function<bool(const std::string&)>& done,
                     const std::string& what, DWORD timeout_ms) {
  std::string text;
  try {
    WaitFor(
        [&] {
          text = Text(window);
          return done(text);
        },
        what, timeout_ms);
  } catch (const Error& e) {
    throw Error(std::string(e.what()) + " (text was \"" + text + "\")");
  }
  return text;
}

std::string WaitNonEmptyText(HWND window, const std::string& what, DWORD timeout_ms) {
  return WaitText(
      window, [](const std::string& text) { return !text.empty(); }, what, timeout_ms);
}

bool Visible(HWND window) {
  return IsWindowVisible(window) != FALSE;
}

void WaitVisible(HWND window, bool visible, const std::string& what, DWORD timeout_ms) {
  WaitFor([&] { return Visible(window) == visible; },
          what + (visible ? " to be shown" : " to be hidden"), timeout_ms);
}

RECT WindowRect(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) throw Error(LastErrorText("GetWindowRect " + Hex(window)));
  return rect;
}

void Click(HWND button) {
  Send(button, BM_CLICK, 0, 0);
}

void SelectTab(HWND tab_control, int index) {
  Send(tab_control, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
}

int CurrentTab(HWND tab_control) {
  return static_cast<int>(Send(tab_control, TCM_GETCURSEL, 0, 0));
}

// ---- Message boxes ----

std::vector<HWND> MessageBoxes(DWORD pid) {
  std::vector<HWND> found;
  EachTopWindow([&](HWND window) {
    if (pid && WindowProcess(window) != pid) return;
    if (ClassName(window) == kDialogClass && Visible(window)) found.push_back(window);
  });
  return found;
}

HWND WaitMessageBox(DWORD pid, DWORD timeout_ms) {
  HWND box = nullptr;
  WaitFor(
      [&] {
        auto found = MessageBoxes(pid);
        if (found.empty()) return false;
        box = found.front();
        return true;
      },
      "a message box of " + ProcessLabel(pid), timeout_ms);
  return box;
}

std::string MessageBoxText(HWND box) {
  return Text(Control(box, kMessageBoxTextId));
}

std::vector<int> MessageBoxButtons(HWND box) {
  std::vector<int> ids;
  EachDescendant(box, [&](HWND window) {
    if (EqualNoCase(ClassName(window), "Button") && Visible(window)) {
      ids.push_back(GetDlgCtrlID(window));
    }
  });
  return ids;
}

void PressMessageBoxButton(HWND box, int button_id) {
  HWND button = FindControl(box, button_id);
  if (!button || !Visible(button)) {
    throw Error("message box " + Hex(box) + " has no button " + std::to_string(button_id));
  }
  Click(button);
}

// ---- Processes' modules and Wine's settings ----

bool HasModule(DWORD pid, const std::string& module_name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) {
    throw Error(LastErrorText("listing the modules of process " + std::to_string(pid)));
  }
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Module32First(snapshot, &entry); more && !found;
       more = Module32Next(snapshot, &entry)) {
    found = EqualNoCase(entry.szModule, module_name);
  }
  CloseHandle(snapshot);
  return found;
}

void SetWineVersion(const std::string& exe_name, const std::string& version) {
  const std::string key = kAppDefaults + exe_name;
  if (version.empty()) {
    const LONG status = RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      throw Error("deleting HKCU\\" + key + " failed (error " + std::to_string(status) + ")");
    }
    return;
  }
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &handle, nullptr);
  if (status == ERROR_SUCCESS) {
    status =
        RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>(version.size() + 1));
    RegCloseKey(handle);
  }
  if (status != ERROR_SUCCESS) {
    throw Error("setting HKCU\\" + key + "\\Version failed (error " + std::to_string(status) + ")");
  }
}

WineVersionOverride::WineVersionOverride(std::string exe_name, const std::string& version)
    : exe_name_(std::move(exe_name)) {
  SetWineVersion(exe_name_, version);
}

WineVersionOverride::~WineVersionOverride() {
  try {
    SetWineVersion(exe_name_, "");
  } catch (const Error&) {
    // Nothing better to do in a destructor; the next start deletes it again.
  }
}

// ---- Files ----

std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AppDataFolder() {
  char path[MAX_PATH] = {0};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path))) {
    throw Error("the application-data folder is unknown");
  }
  return path;
}

ULONGLONG NowMs() {
  return GetTickCount64();
}

}  // namespace probe
