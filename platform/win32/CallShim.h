// Calls an entry point of unknown calling convention with one argument,
// guarded against what a foreign library may do to the caller.
#pragma once

#include <cstdint>

namespace hv {

// Calls `proc` with the single pointer argument `argument` and returns the
// 32-bit result (EAX). On i386 the argument is pushed on the stack, and
// cdecl and stdcall callees work alike, with or without a declared
// parameter: the stack pointer is restored from a saved copy afterwards,
// whatever the callee popped. On x86-64, with its one calling convention,
// the argument goes in RCX. `proc` must not be null.
//
// The x87 environment (control word, status, register tags) and the SSE
// control/status register are the caller's again afterwards, whatever the
// callee changed. An exception raised inside the callee that the callee does
// not handle itself (an access violation, an illegal instruction, a division
// or floating-point fault, a stack overflow, a software exception) ends the
// call: the callee's own unwind handlers run, the stack pointer and the
// callee-saved registers are restored, and `ELibraryFault` is thrown.
int32_t CallWithOneArgument(void (*proc)(), void* argument);

// Keeps the caller's floating-point state (the x87 environment and the SSE
// control/status register) across foreign code that runs outside a call of
// the shim: a library's start-up code while it loads. The callee starts
// with clear x87 exception flags.
class KeepFloatingPoint {
 public:
  KeepFloatingPoint();
  ~KeepFloatingPoint();
  KeepFloatingPoint(const KeepFloatingPoint&) = delete;
  KeepFloatingPoint& operator=(const KeepFloatingPoint&) = delete;

 private:
  uint8_t x87_[28];  // FNSTENV image: control word first
  uint32_t mxcsr_ = 0;
};

}  // namespace hv
