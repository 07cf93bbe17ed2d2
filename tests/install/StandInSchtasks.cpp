// Stands in for Windows' schtasks.exe in the installer tests, where Wine's own would keep only part
// of a task definition: records each call's arguments (C:\schtasks\calls.txt) and keeps each task
// as the definition handed to /create (C:\schtasks\<name>.xml, as given) until /delete, answering
// as a task store would. While C:\schtasks\refuse-create exists, /create fails. /run, and /logon
// (what Windows does at this user's logon), start the task's command when its principal names this
// user, or a group this user belongs to (as Windows runs a group's task for every member), and
// /logon only when the logon trigger names no user or this one; each start is added to
// C:\schtasks\started.txt as "<process id>|<task>|<UserId or GroupId of the principal>".
#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

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

void Append(const wchar_t* name, const wchar_t* text) {
  char line[4096];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line - 2, nullptr, nullptr);
  if (length <= 0) return;
  line[length - 1] = '\n';
  HANDLE file = CreateFileW(Record(name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

// A registered definition (UTF-16 LE with a byte order mark), without the mark.
std::wstring Definition(const std::wstring& path) {
  std::wstring text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  const DWORD size = GetFileSize(file, nullptr);
  text.resize(size / sizeof(wchar_t));
  DWORD read = 0;
  ReadFile(file, text.data(), size, &read, nullptr);
  CloseHandle(file);
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  return text;
}

// The text of the first <tag> inside <within>; "" when there is none, and "-" when there is no
// such <within>.
std::wstring Element(const std::wstring& xml, const std::wstring& within, const std::wstring& tag) {
  const size_t outer = xml.find(L"<" + within);
  if (outer == std::wstring::npos) return L"-";
  const size_t outerEnd = xml.find(L"</" + within + L">", outer);
  const size_t begin = xml.find(L"<" + tag + L">", outer);
  if (begin == std::wstring::npos || begin > outerEnd) return L"";
  const size_t from = begin + tag.size() + 2;
  return xml.substr(from, xml.find(L"</" + tag + L">", from) - from);
}

// DOMAIN\user or user names this user.
bool IsThisUser(const std::wstring& name) {
  wchar_t user[256];
  DWORD length = 256;
  if (!GetUserNameW(user, &length)) return false;
  const size_t slash = name.rfind(L'\\');
  return _wcsicmp(name.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(), user) == 0;
}

bool IsMember(const std::wstring& group) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidW(group.c_str(), &sid)) return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, sid, &member)) member = FALSE;
  LocalFree(sid);
  return member != FALSE;
}

// Starts task <name>'s command for this user when its principal takes this user in.
bool RunForThisUser(const std::wstring& name, const std::wstring& xml) {
  const std::wstring user = Element(xml, L"Principal", L"UserId");
  const std::wstring group = Element(xml, L"Principal", L"GroupId");
  if (!(group.empty() ? IsThisUser(user) : IsMember(group))) return true;
  std::wstring command = Element(xml, L"Exec", L"Command");
  const std::wstring folder = Element(xml, L"Exec", L"WorkingDirectory");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return false;
  Append(L"started.txt",
         (std::to_wstring(process.dwProcessId) + L"|" + name + L"|" + (group.empty() ? user : group))
             .c_str());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
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
  Append(L"calls.txt", rest);

  const wchar_t* xml = nullptr;
  const wchar_t* name = nullptr;
  for (int i = 1; i + 1 < count; ++i) {
    if (_wcsicmp(argv[i], L"/xml") == 0) xml = argv[i + 1];
    if (_wcsicmp(argv[i], L"/tn") == 0) name = argv[i + 1];
  }
  if (!name) return 1;
  const std::wstring registered = Record(name) + L".xml";
  const wchar_t* action = count > 1 ? argv[1] : L"";
  if (_wcsicmp(action, L"/create") == 0)
    return Exists(Record(L"refuse-create")) || !xml || !CopyFileW(xml, registered.c_str(), FALSE);
  if (_wcsicmp(action, L"/delete") == 0) return DeleteFileW(registered.c_str()) ? 0 : 1;
  if (_wcsicmp(action, L"/query") == 0) return Exists(registered) ? 0 : 1;
  if (_wcsicmp(action, L"/run") == 0 || _wcsicmp(action, L"/logon") == 0) {
    if (!Exists(registered)) return 1;
    const std::wstring definition = Definition(registered);
    const std::wstring trigger = Element(definition, L"LogonTrigger", L"UserId");
    if (_wcsicmp(action, L"/logon") == 0 &&
        (trigger == L"-" || !(trigger.empty() || IsThisUser(trigger))))
      return 0;
    return RunForThisUser(name, definition) ? 0 : 1;
  }
  return 1;
}
