// What the installer test needs from inside Wine, and what Wine cannot have:
//   hold <file>   holds <file> open, readable but neither deletable nor renamable, as a Horavia of
//                 another session holds its program, until <file>.release exists; writes
//                 <file>.held once it holds it
//   horavia       waits up to 20 s for a running Horavia's main window and prints its process id
//   run <command line>
//                 runs it, waits, and prints its exit code (which Wine's loader would cut to 8
//                 bits)
// Named ...Uninstall.exe, it stands in for the other build's uninstaller: it records its command
// line in C:\other-build.txt and removes that build's uninstall entry (the 32-bit registry view)
// and, run in place of a folder (_?=<folder>), its Uninstall.exe and the folder, as the real one
// would; exit code 0.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int Hold(const std::wstring& file) {
  HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(CreateFileW((file + L".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  for (int i = 0; i < 1200; ++i) {  // two minutes at most
    if (GetFileAttributesW((file + L".release").c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(100);
  }
  CloseHandle(held);
  return 0;
}

int Run(const wchar_t* commandLine) {
  std::wstring command = commandLine;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return 1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("%lu\n", static_cast<unsigned long>(code));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

int PrintHoravia() {
  for (int i = 0; i < 200; ++i) {
    if (HWND window = FindWindowW(L"HoraviaForm", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      std::printf("%lu\n", static_cast<unsigned long>(pid));
      return 0;
    }
    Sleep(100);
  }
  return 1;
}

int StandInUninstaller() {
  FILE* log = _wfopen(L"C:\\other-build.txt", L"a");
  if (log) {
    std::fwprintf(log, L"%ls\n", GetCommandLineW());
    std::fclose(log);
  }
  const wchar_t* place = std::wcsstr(GetCommandLineW(), L"_?=");
  if (place) {
    const std::wstring folder = place + 3;
    DeleteFileW((folder + L"\\Uninstall.exe").c_str());
    RemoveDirectoryW(folder.c_str());
  }
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE,
                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Horavia",
                  KEY_WOW64_32KEY, 0);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const wchar_t* name = std::wcsrchr(self, L'\\');
  const size_t length = name ? std::wcslen(name + 1) : 0;
  if (length >= 13 && _wcsicmp(name + 1 + length - 13, L"Uninstall.exe") == 0)
    return StandInUninstaller();
  if (argc == 3 && std::wcscmp(argv[1], L"hold") == 0) return Hold(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"run") == 0) return Run(argv[2]);
  if (argc == 2 && std::wcscmp(argv[1], L"horavia") == 0) return PrintHoravia();
  return 2;
}
