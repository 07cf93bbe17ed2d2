// Stands in for Windows' schtasks.exe in the installer tests, where Wine's own would keep only part
// of a task definition: records each call's arguments (C:\schtasks\calls.txt) and the definition
// handed to /create (C:\schtasks\task.xml, as given), and answers as a task store would. While
// C:\schtasks\refuse-create exists, /create fails.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

const wchar_t kFolder[] = L"C:\\schtasks\\";

std::wstring Record(const wchar_t* name) {
  return std::wstring(kFolder) + name;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The command line after the program's name, as one line of calls.txt (UTF-8).
void LogCall(const wchar_t* arguments) {
  char line[4096];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, arguments, -1, line, sizeof line - 2, nullptr, nullptr);
  if (length <= 0) return;
  line[length - 1] = '\n';
  HANDLE file = CreateFileW(Record(L"calls.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int main() {
  CreateDirectoryW(kFolder, nullptr);
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  // Past the program's name, quoted or not, and the blanks after it.
  const wchar_t* rest = GetCommandLineW();
  wchar_t end = L' ';
  if (*rest == L'"') end = L'"', ++rest;
  while (*rest && *rest != end) ++rest;
  if (*rest == L'"') ++rest;
  while (*rest == L' ') ++rest;
  LogCall(rest);

  const std::wstring registered = Record(L"registered");
  const wchar_t* xml = nullptr;
  for (int i = 1; i + 1 < count; ++i)
    if (_wcsicmp(argv[i], L"/xml") == 0) xml = argv[i + 1];
  const wchar_t* action = count > 1 ? argv[1] : L"";
  if (_wcsicmp(action, L"/create") == 0) {
    if (Exists(Record(L"refuse-create")) || !xml ||
        !CopyFileW(xml, Record(L"task.xml").c_str(), FALSE))
      return 1;
    CloseHandle(CreateFileW(registered.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return 0;
  }
  if (_wcsicmp(action, L"/delete") == 0) return DeleteFileW(registered.c_str()) ? 0 : 1;
  if (_wcsicmp(action, L"/query") == 0 || _wcsicmp(action, L"/run") == 0)
    return Exists(registered) ? 0 : 1;
  return 1;
}
