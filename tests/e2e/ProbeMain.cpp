// probe.exe: the probe library as a console command, one action per call, for scripts.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/ControlIds.h"
#include "tests/e2e/Probe.h"

namespace {

constexpr char kCaption[] = "Horavia";

const char kUsage[] =
    "usage: probe <command> [arguments]\n"
    "  <pid> is a process id as printed by start, or 0 for any process\n"
    "  start <exe> [<workdir>] [NAME=VALUE ...]   start a program, print its process id\n"
    "  wait-window <pid> [<timeout ms>]           wait for the window \"Horavia\"\n"
    "  visible <pid>                              print 1 if the window is shown, else 0\n"
    "  rect <pid>                                 print the window's geometry WxH+X+Y\n"
    "  tray <pid> <lparam>                        send the tray callback (2024) with lparam\n"
    "  page <pid> <index>                         switch to page <index> as a click does\n"
    "  text <pid> <control id>                    print a control's text\n"
    "  wait-text <pid> <control id> [<timeout>]   wait until a control's text is not empty\n"
    "  wait-text-is <pid> <control id> <text> [<timeout>]   wait until a control shows <text>\n"
    "  click <pid> <control id>                   click a button\n"
    "  wait-box <pid> [<timeout ms>]              wait for a message box, print its text\n"
    "  box-text <pid>                             print the message box's text\n"
    "  box-buttons <pid>                          print the ids of its buttons\n"
    "  box-rect <pid>                             print the message box's geometry WxH+X+Y\n"
    "  box-press <pid> <button id>                press a button of the message box (1 OK, 2 "
    "Cancel)\n"
    "  wait-exit <pid> [<timeout ms>]             wait for the process to end, print its exit "
    "code\n"
    "  kill <pid>                                 end the process\n"
    "  wine-version <exe name> <version|->        set (win98, nt40, ...) or delete (-) the\n"
    "                                             Windows version Wine reports to <exe name>\n";

class UsageError : public std::exception {};

DWORD Number(const std::vector<std::string>& args, size_t index, DWORD fallback, bool required) {
  if (index >= args.size()) {
    if (required) throw UsageError();
    return fallback;
  }
  char* end = nullptr;
  const unsigned long value = std::strtoul(args[index].c_str(), &end, 0);
  while (*end == '\r' || *end == '\n' || *end == ' ') ++end;  // as a shell passes it back
  if (end == args[index].c_str() || *end) throw UsageError();
  return static_cast<DWORD>(value);
}

DWORD Pid(const std::vector<std::string>& args) {
  return Number(args, 1, 0, true);
}

// The main window: the "Horavia" window with the page control (the notice window shares the
// caption).
HWND MainWindow(DWORD pid, DWORD timeout_ms = probe::kActionTimeoutMs) {
  return probe::WaitTopWindow(pid, kCaption, hv::ctl::TabbedNotebook1, timeout_ms);
}

std::string Geometry(HWND window) {
  const RECT r = probe::WindowRect(window);
  return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" +
         std::to_string(r.left) + "+" + std::to_string(r.top);
}

// A message box's text with its line breaks (single CRs) shown as new lines.
void PrintLines(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  std::printf("%s\n", out.c_str());
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError();
  const std::string& command = args[0];

  if (command == "start") {
    if (args.size() < 2) throw UsageError();
    std::vector<probe::EnvChange> env;
    for (size_t i = 3; i < args.size(); ++i) {
      const size_t eq = args[i].find('=');
      if (eq == std::string::npos || eq == 0) throw UsageError();
      env.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
    }
    const std::string exe = probe::WindowsPath(args[1]);
    const std::string workdir = args.size() > 2 ? probe::WindowsPath(args[2]) : "";
    probe::Process process = probe::Start(exe, workdir, env);
    std::printf("%lu\n", static_cast<unsigned long>(process.pid()));
    return 0;
  }
  if (command == "wait-window") {
    HWND window = MainWindow(Pid(args), Number(args, 2, probe::kStartTimeoutMs, false));
    std::printf("%p\n", static_cast<void*>(window));
    return 0;
  }
  if (command == "visible") {
    std::printf("%d\n", probe::Visible(MainWindow(Pid(args))) ? 1 : 0);
    return 0;
  }
  if (command == "rect") {
    std::printf("%s\n", Geometry(MainWindow(Pid(args))).c_str());
    return 0;
  }
  if (command == "tray") {
    probe::Send(MainWindow(Pid(args)), hv::kWmTrayIcon, 0,
                static_cast<LPARAM>(Number(args, 2, 0, true)));
    return 0;
  }
  if (command == "page") {
    const int index = static_cast<int>(Number(args, 2, 0, true));
    HWND tabs = probe::WaitControl(MainWindow(Pid(args)), hv::ctl::TabbedNotebook1);
    probe::SelectTab(tabs, index);
    if (probe::CurrentTab(tabs) != index) {
      std::fprintf(stderr, "probe: page %d did not become current\n", index);
      return 1;
    }
    return 0;
  }
  if (command == "text") {
    HWND control =
        probe::WaitControl(MainWindow(Pid(args)), static_cast<int>(Number(args, 2, 0, true)));
    std::printf("%s\n", probe::Text(control).c_str());
    return 0;
  }
  if (command == "wait-text") {
    const int id = static_cast<int>(Number(args, 2, 0, true));
    HWND control = probe::WaitControl(MainWindow(Pid(args)), id);
    std::printf("%s\n", probe::WaitNonEmptyText(control, "a text in control " + std::to_string(id),
                                                Number(args, 3, probe::kActionTimeoutMs, false))
                            .c_str());
    return 0;
  }
  if (command == "wait-text-is") {
    if (args.size() < 4) throw UsageError();
    const int id = static_cast<int>(Number(args, 2, 0, true));
    const std::string wanted = args[3];
    HWND control = probe::WaitControl(MainWindow(Pid(args)), id);
    probe::WaitText(
        control, [&](const std::string& text) { return text == wanted; },
        "\"" + wanted + "\" in control " + std::to_string(id),
        Number(args, 4, probe::kActionTimeoutMs, false));
    return 0;
  }
  if (command == "click") {
    probe::Click(
        probe::WaitControl(MainWindow(Pid(args)), static_cast<int>(Number(args, 2, 0, true))));
    return 0;
  }
  if (command == "wait-box") {
    HWND box = probe::WaitMessageBox(Pid(args), Number(args, 2, probe::kStartTimeoutMs, false));
    PrintLines(probe::MessageBoxText(box));
    return 0;
  }
  if (command == "box-text") {
    PrintLines(probe::MessageBoxText(probe::WaitMessageBox(Pid(args))));
    return 0;
  }
  if (command == "box-buttons") {
    for (int id : probe::MessageBoxButtons(probe::WaitMessageBox(Pid(args)))) {
      std::printf("%d\n", id);
    }
    return 0;
  }
  if (command == "box-rect") {
    std::printf("%s\n", Geometry(probe::WaitMessageBox(Pid(args))).c_str());
    return 0;
  }
  if (command == "box-press") {
    probe::PressMessageBoxButton(probe::WaitMessageBox(Pid(args)),
                                 static_cast<int>(Number(args, 2, 0, true)));
    return 0;
  }
  if (command == "wait-exit") {
    probe::Process process = probe::Process::Open(Pid(args));
    const DWORD timeout = Number(args, 2, probe::kActionTimeoutMs, false);
    const auto code = process.WaitExit(timeout);
    if (!code) {
      std::fprintf(stderr, "probe: process %s still runs after %lu ms\n", args[1].c_str(),
                   static_cast<unsigned long>(timeout));
      return 1;
    }
    std::printf("%lu\n", static_cast<unsigned long>(*code));
    return 0;
  }
  if (command == "kill") {
    probe::Process::Open(Pid(args)).Kill();
    return 0;
  }
  if (command == "wine-version") {
    if (args.size() != 3) throw UsageError();
    probe::SetWineVersion(args[1], args[2] == "-" ? "" : args[2]);
    return 0;
  }
  throw UsageError();
}

}  // namespace

int main(int argc, char** argv) {
  // Plain "\n" line ends, so that a shell's $(probe ...) gets no carriage returns.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const UsageError&) {
    std::fputs(kUsage, stderr);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "probe: %s\n", e.what());
    return 1;
  }
}
