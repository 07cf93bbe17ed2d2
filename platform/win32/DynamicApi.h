// System functions that older Windows versions lack, resolved at run time
// from one list so that the program still starts where they are missing.
#pragma once

#include "platform/win32/WinApi.h"

namespace hv::dyn {

// V(dll, result, function, parameters): every function is looked up by name
// in the DLL, which is loaded if the process has not loaded it yet.
#define HV_DYNAMIC_API(V)                                   \
  V(kernel32, BOOL, SetDllDirectoryA, (LPCSTR name))        \
  V(kernel32, BOOL, SetThreadStackGuarantee, (PULONG size)) \
  V(user32, BOOL, FlashWindowEx, (PFLASHWINFO info))        \
  V(user32, BOOL, SetProcessDPIAware, (void))

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

}  // namespace hv::dyn
