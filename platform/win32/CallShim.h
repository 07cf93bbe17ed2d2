// Calls an entry point of unknown calling convention with one argument.
#pragma once

#include <cstdint>

namespace hv {

// Calls `proc` with the single 32-bit argument `argument` pushed on the
// stack and returns EAX. Works for cdecl and stdcall callees alike, with or
// without a declared parameter: the stack pointer is restored from a saved
// copy afterwards, whatever the callee popped. `proc` must not be null.
int32_t CallWithOneArgument(void (*proc)(), void* argument);

}  // namespace hv
