// Run-time resolution of the optional system functions.
#include "platform/win32/DynamicApi.h"

namespace hv::dyn {

namespace {

HMODULE Dll(const char* name) {
  HMODULE module = GetModuleHandleA(name);
  return module ? module : LoadLibraryA(name);
}

Api Resolve() {
  Api api;
#define HV_DYNAMIC_RESOLVE(dll, result, function, parameters) \
  if (HMODULE module = Dll(#dll ".dll"))                      \
    api.function = reinterpret_cast<Api::function##Type>(     \
        reinterpret_cast<void*>(::GetProcAddress(module, #function)));
  HV_DYNAMIC_API(HV_DYNAMIC_RESOLVE)
#undef HV_DYNAMIC_RESOLVE
  return api;
}

Api& Table() {
  static Api api = Resolve();
  return api;
}

}  // namespace

const Api& Functions() {
  return Table();
}

Api ReplaceFunctions(const Api& table) {
  Api replaced = Table();
  Table() = table;
  return replaced;
}

}  // namespace hv::dyn
