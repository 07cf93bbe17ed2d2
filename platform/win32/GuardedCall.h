// The architecture's half of the call shim: one guarded call into a foreign
// library (CallShimI386.cpp, CallShimX64.cpp). CallShim.cpp builds on it.
#pragma once

#include <cstdint>

namespace hv::shim {

// How a guarded call ended.
struct CallOutcome {
  uint32_t faulted;  // 0: the callee returned; 1: it raised an exception
  uint32_t code;     // the exception's code when faulted
};

// Calls `proc` with `argument` and returns its 32-bit result. An exception
// raised inside the callee that the callee does not handle runs the
// callee's own unwind handlers and ends the call with `outcome` set
// (faulted 1, the code) and an undefined result; the stack pointer and the
// callee-saved registers are the caller's again either way.
int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome* outcome);

}  // namespace hv::shim
