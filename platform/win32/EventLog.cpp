// The Win32 calls behind the event log: the event source "Horavia" in the
// Application log, the user's SID on each event, and where a loaded library
// lies.
#include "platform/win32/Win32Platform.h"

#include "platform/win32/DynamicApi.h"

namespace hv {

namespace {

// The process user's TOKEN_USER record; empty when the token cannot tell.
std::vector<BYTE> TokenUser() {
  auto getInformation = dyn::Functions().GetTokenInformation;
  HANDLE token = nullptr;
  if (!getInformation || !::OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  getInformation(token, ::TokenUser, nullptr, 0, &size);
  std::vector<BYTE> record(size);
  if (size == 0 || !getInformation(token, ::TokenUser, record.data(), size, &size)) record.clear();
  ::CloseHandle(token);
  return record;
}

}  // namespace

bool Win32Platform::ReportEvent(EventType type, uint32_t messageId,
                                const std::vector<std::string>& strings) {
  if (!eventSource_) {
    // Without the installer's registration the source still writes to the
    // Application log; the Event Viewer then lacks the sentences.
    eventSource_ = RegisterEventSourceW(nullptr, L"Horavia");
    if (!eventSource_) return false;
    tokenUser_ = TokenUser();
  }
  std::vector<std::wstring> wide(strings.size());
  std::vector<LPCWSTR> inserts(strings.size());
  for (size_t i = 0; i < strings.size(); ++i) {
    wide[i] = Widen(strings[i], CP_UTF8);
    inserts[i] = wide[i].c_str();
  }
  PSID user =
      tokenUser_.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(tokenUser_.data())->User.Sid;
  return ReportEventW(eventSource_, static_cast<WORD>(type), 0, messageId, user,
                      static_cast<WORD>(inserts.size()), 0,
                      inserts.empty() ? nullptr : inserts.data(), nullptr) != FALSE;
}

std::string Win32Platform::LoadedLibraryPath(const char* name) {
  HMODULE module = GetModuleHandleA(name);
  return module ? Narrow(ModulePath(module), CP_UTF8) : std::string();
}

}  // namespace hv
