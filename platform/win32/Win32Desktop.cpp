// The Win32 calls behind the settings file, the tray icon, the shell and the
// version resource.
#include "platform/win32/Win32Platform.h"

#include <cstddef>
#include <cstring>

#include "platform/win32/DynamicApi.h"

namespace hv {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                      nullptr, nullptr);
  return text;
}

namespace {

DesktopOpener& Opener() {
  static DesktopOpener opener = OpenAsDesktopUser;
  return opener;
}

}  // namespace

DesktopOpener ReplaceDesktopOpener(DesktopOpener opener) {
  const DesktopOpener replaced = Opener();
  Opener() = opener;
  return replaced;
}

std::string Win32Platform::GetSpecialFolderPath(int csidl) {
  // The wide path, so that a folder the ANSI code page cannot name works. Asked for the path
  // itself rather than for the folder's item list: freeing an item list would bring the COM
  // libraries into the process, which it needs for nothing else.
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return Narrow(path, CP_UTF8);
}

std::string Win32Platform::GetProfileString(const std::string& section, const std::string& key,
                                            const std::string& file) {
  // The file stays single-byte: the profile functions read and write a
  // file without a byte-order mark in the ANSI code page.
  wchar_t buffer[2048] = {};
  GetPrivateProfileStringW(Widen(section, CP_ACP).c_str(), Widen(key, CP_ACP).c_str(), L"", buffer,
                           2048, Widen(file, CP_UTF8).c_str());
  return Narrow(buffer, CP_ACP);
}

bool Win32Platform::WriteProfileString(const char* section, const char* key, const char* value,
                                       const std::string& file) {
  const std::wstring path = Widen(file, CP_UTF8);
  if (!section) return WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()) != FALSE;
  const std::wstring s = Widen(section, CP_ACP);
  const std::wstring k = key ? Widen(key, CP_ACP) : std::wstring();
  const std::wstring v = value ? Widen(value, CP_ACP) : std::wstring();
  return WritePrivateProfileStringW(s.c_str(), key ? k.c_str() : nullptr,
                                    value ? v.c_str() : nullptr, path.c_str()) != FALSE;
}

char Win32Platform::DecimalSeparator() {
  char separator[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) < 2)
    return '.';
  return separator[0];
}

std::string Win32Platform::Utf8ToAnsi(const std::string& text) {
  return Narrow(Widen(text, CP_UTF8), CP_ACP);
}

// The system's first-version record: 88 bytes on 32-bit Windows, 104 on 64-bit, where the
// handles are 64 bits wide and aligned. Its tip field holds 64 bytes.
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 4 ? 88 : 104));

NOTIFYICONDATAA NotifyIconData(const NotifyIconRecord& record) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = reinterpret_cast<HWND>(record.window);
  data.uID = record.id;
  data.uFlags = record.flags;
  data.uCallbackMessage = record.callbackMessage;
  data.hIcon = reinterpret_cast<HICON>(record.icon);
  static_assert(offsetof(NOTIFYICONDATAA, szTip) + sizeof record.tip == NOTIFYICONDATAA_V1_SIZE);
  memcpy(data.szTip, record.tip.data(), sizeof record.tip);
  return data;
}

bool Win32Platform::ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record) {
  NOTIFYICONDATAA data = NotifyIconData(record);
  return Shell_NotifyIconA(operation, &data) != FALSE;
}

HandleValue Win32Platform::WindowHandleValue(TForm& form) {
  return reinterpret_cast<HandleValue>(form.handle);
}

uint32_t Win32Platform::RegisterWindowMessage(const char* name) {
  // A registered message is one that processes share. Of those, an elevated
  // program needs one alone from a process of lower integrity, the shell's
  // TaskbarCreated; the system's filter keeps every other one out.
  const UINT message = RegisterWindowMessageA(name);
  if (message != 0 && std::strcmp(name, "TaskbarCreated") == 0)
    windows_.AllowRegisteredMessage(message);
  return message;
}

void Win32Platform::ShellOpen(const std::string& link) {
  // From an elevated process the browser or mail program would run elevated
  // too: the desktop's shell starts it as the user instead. Where that fails
  // the link stays unopened, as any link nothing can open.
  if (ProcessElevated()) {
    Opener()(Widen(link, CP_ACP));
    return;
  }
  if (auto shellExecute = dyn::Functions().ShellExecuteA)
    shellExecute(GetDesktopWindow(), "open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32Platform::LoadVersionResource(std::vector<uint8_t>& block) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  const auto* first = static_cast<const uint8_t*>(bytes);
  block.assign(first, first + SizeofResource(module, resource));
  return true;
}

std::string Win32Platform::WideToAnsi(const std::u16string& text) {
  return Narrow(std::wstring(text.begin(), text.end()), CP_ACP);
}

}  // namespace hv
