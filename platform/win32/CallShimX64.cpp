// The call shim on x86-64: the guarded call, its handler named in the
// shim's own unwind data (.pdata/.xdata) as MSVC's __except makes it; the
// system finds it by unwinding the stack from the faulting instruction frame
// by frame.
#if defined(__x86_64__)

#include <cstddef>
#include <cstdint>

#include "platform/win32/GuardedCall.h"
#include "platform/win32/WinApi.h"

// x86-64 knows one calling convention: the argument goes in RCX, the caller
// provides 32 bytes of shadow space and calls with RSP aligned to 16 bytes,
// and the callee returns with RSP as it was. There is no cdecl or stdcall
// to tell apart, so the shim makes an ordinary call; what the i386 branch
// does with ESI has nothing to do here.
//
// The system finds the shim's handler by unwinding the stack from the
// faulting instruction with the unwind data of each function on it; the
// library's handlers in its own frames are asked first, as they lie below.
// This holds as long as every library frame between the fault and the shim
// can be unwound: a function with unwind data of its own, or a leaf that
// has not moved RSP (the system takes the return address at RSP for a
// function without unwind data). A library function without unwind data
// that has pushed or allocated on the stack and faults, or calls something
// that faults, breaks the walk: the system takes a wrong return address,
// and then either ends the process as an unhandled exception or an invalid
// stack, or passes over the shim's frame. The i386 branch's registration at
// FS:[0] does not depend on the library's frames and survives this; here
// nothing placed by the shim can (a vectored handler would run before the
// library's own handlers). Compilers for x86-64 Windows write unwind data
// for every non-leaf function, so only hand-written assembly without it is
// at risk.
//
// What the shim relies on from the unwind is RSP only: it saves every
// callee-saved register (RBX, RBP, RDI, RSI, R12-R15, XMM6-XMM15) itself and
// restores them from its own frame on both ways out, so a library that
// clobbers them without saying so in its unwind data still leaves the
// caller's. The shim uses no frame register: its establisher frame is its
// RSP after the prologue, the one thing the unwind must get right anyway.

// int32_t hvCallShim(void (*proc)(), void* argument, CallOutcome* outcome)
//
// Stack after the prologue (RSP 16-aligned): 0-31 shadow space of the call,
// 32 `outcome`, 48-207 XMM6-XMM15, then the eight pushed registers and the
// return address. A fault resumes at hvShimLanded with RSP as at the call
// and leaves through the same epilogue; EAX is 0 then.
extern "C" int32_t hvCallShim(void (*proc)(), void* argument, void* outcome) asm("hvCallShim");
extern "C" char hvShimLanded[] asm("hvShimLanded");

asm(R"(
  .text
  .p2align 4
  .globl hvCallShim
  .def hvCallShim; .scl 2; .type 32; .endef
  .seh_proc hvCallShim
hvCallShim:
  pushq %rbp
  .seh_pushreg %rbp
  pushq %rbx
  .seh_pushreg %rbx
  pushq %rsi
  .seh_pushreg %rsi
  pushq %rdi
  .seh_pushreg %rdi
  pushq %r12
  .seh_pushreg %r12
  pushq %r13
  .seh_pushreg %r13
  pushq %r14
  .seh_pushreg %r14
  pushq %r15
  .seh_pushreg %r15
  subq  $216, %rsp
  .seh_stackalloc 216
  movaps %xmm6, 48(%rsp)
  .seh_savexmm %xmm6, 48
  movaps %xmm7, 64(%rsp)
  .seh_savexmm %xmm7, 64
  movaps %xmm8, 80(%rsp)
  .seh_savexmm %xmm8, 80
  movaps %xmm9, 96(%rsp)
  .seh_savexmm %xmm9, 96
  movaps %xmm10, 112(%rsp)
  .seh_savexmm %xmm10, 112
  movaps %xmm11, 128(%rsp)
  .seh_savexmm %xmm11, 128
  movaps %xmm12, 144(%rsp)
  .seh_savexmm %xmm12, 144
  movaps %xmm13, 160(%rsp)
  .seh_savexmm %xmm13, 160
  movaps %xmm14, 176(%rsp)
  .seh_savexmm %xmm14, 176
  movaps %xmm15, 192(%rsp)
  .seh_savexmm %xmm15, 192
  .seh_endprologue
  .seh_handler hvShimHandler, @except
  movq  %r8, 32(%rsp)
  movq  %rcx, %rax
  movq  %rdx, %rcx
  callq *%rax
1:
  cld
  movaps 48(%rsp), %xmm6
  movaps 64(%rsp), %xmm7
  movaps 80(%rsp), %xmm8
  movaps 96(%rsp), %xmm9
  movaps 112(%rsp), %xmm10
  movaps 128(%rsp), %xmm11
  movaps 144(%rsp), %xmm12
  movaps 160(%rsp), %xmm13
  movaps 176(%rsp), %xmm14
  movaps 192(%rsp), %xmm15
  addq  $216, %rsp
  popq  %r15
  popq  %r14
  popq  %r13
  popq  %r12
  popq  %rdi
  popq  %rsi
  popq  %rbx
  popq  %rbp
  ret
  .globl hvShimLanded
hvShimLanded:
  xorl  %eax, %eax
  jmp   1b
  .seh_endproc
)");

// The shim's handler, called by the system's exception dispatcher for an
// exception raised inside the call that no handler of the callee took.
// `frame` is the shim's RSP after its prologue.
extern "C" EXCEPTION_DISPOSITION hvShimHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                               DISPATCHER_CONTEXT* dispatch) asm("hvShimHandler");

EXCEPTION_DISPOSITION hvShimHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                    DISPATCHER_CONTEXT* dispatch) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  auto* outcome = *reinterpret_cast<hv::shim::CallOutcome**>(static_cast<char*>(frame) + 32);
  // A second exception, raised by one of the callee's unwind handlers, keeps
  // the first one's code; the unwind below then goes on from where the first
  // one was (the system's collided unwind).
  if (!outcome->faulted) {
    outcome->faulted = 1;
    outcome->code = record->ExceptionCode;
  }
  // Runs the unwind handlers of every frame below the shim's and continues
  // at hvShimLanded with RSP at `frame`; does not return.
  RtlUnwindEx(frame, hvShimLanded, record, nullptr, dispatch->ContextRecord,
              dispatch->HistoryTable);
  return ExceptionContinueSearch;
}

namespace hv::shim {

int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome* outcome) {
  return hvCallShim(proc, argument, outcome);
}

}  // namespace hv::shim

#endif  // x86-64
