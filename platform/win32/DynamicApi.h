// System functions that older Windows versions lack, resolved at run time
// from one list so that the program still starts where they are missing.
#pragma once

#include "platform/win32/WinApi.h"

#include <shlwapi.h>  // DLLVERSIONINFO

namespace hv::dyn {

// V(dll, result, function, parameters): every function is looked up by name
// in the DLL, which is loaded if the process has not loaded it yet. Besides
// the functions older systems lack, the list holds the few calls whose
// answer a test stands in for (the token's elevation and groups, a
// window's flashing, the shell's open).
#define HV_DYNAMIC_API(V)                                                                   \
  V(kernel32, BOOL, SetDllDirectoryW, (LPCWSTR name))                                       \
  V(kernel32, BOOL, SetThreadStackGuarantee, (PULONG size))                                 \
  /* Present where LoadLibraryEx knows the LOAD_LIBRARY_SEARCH_... flags. */                \
  V(kernel32, BOOL, SetDefaultDllDirectories, (DWORD flags))                                \
  V(advapi32, BOOL, GetTokenInformation,                                                    \
    (HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID info, DWORD size, PDWORD returned)) \
  V(advapi32, BOOL, CheckTokenMembership, (HANDLE token, PSID group, PBOOL member))         \
  V(user32, BOOL, SetProcessDPIAware, (void))                                               \
  V(user32, BOOL, FlashWindowEx, (PFLASHWINFO info))                                        \
  V(user32, BOOL, ChangeWindowMessageFilterEx,                                              \
    (HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT status))                  \
  V(user32, BOOL, ChangeWindowMessageFilter, (UINT message, DWORD flag))                    \
  V(comctl32, HRESULT, DllGetVersion, (DLLVERSIONINFO * version))                           \
  V(shell32, HINSTANCE, ShellExecuteA,                                                      \
    (HWND parent, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show))

struct Api {
#define HV_DYNAMIC_FIELD(dll, result, function, parameters) \
  using function##Type = result(WINAPI*) parameters;        \
  function##Type function = nullptr;
  HV_DYNAMIC_API(HV_DYNAMIC_FIELD)
#undef HV_DYNAMIC_FIELD
};

// The resolved functions; each field is null when this system has none.
// Resolved once, on the first call; never fails.
const Api& Functions();

// For tests: puts `table` in the place of the resolved functions (a
// function pretended missing, or a stand-in) and returns the table it
// replaced. The program never calls it.
Api ReplaceFunctions(const Api& table);

}  // namespace hv::dyn
