// The one compiler-specific file: the call shim into a foreign library, its
// structured exception handling and the floating-point state around it.
//
// GCC (MinGW) has no __try/__except, so the shim is written in assembly, one
// branch per architecture:
//
// - i386: the shim registers an exception handler of its own on the thread's
//   handler chain at FS:[0] for the time of the call. The system accepts a
//   frame handler only from an image that neither is marked "no SEH" nor
//   carries a safe-handler table lacking it; the MinGW linker writes neither
//   (the Win32 tests check this on their own image).
// - x86-64: there is no handler chain. The shim's handler is named in the
//   shim's own unwind data (.pdata/.xdata), as MSVC's __except makes it, and
//   the system finds it by unwinding the stack from the faulting instruction
//   frame by frame. See the comment before hvCallShim there for what that
//   asks of the library.
//
// An MSVC build (i386 only) takes the #ifdef _MSC_VER branches below, which
// say the same with __try/__except and __asm.
#include "platform/win32/CallShim.h"

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "platform/win32/DynamicApi.h"
#include "platform/win32/WinApi.h"

#if defined(_MSC_VER)
#include <xmmintrin.h>  // _mm_getcsr, _mm_setcsr
#endif

#if defined(_MSC_VER) && defined(_M_IX86)
#define HV_SHIM_MSVC_I386 1
#elif defined(__GNUC__) && defined(__i386__)
#define HV_SHIM_GCC_I386 1
#elif defined(__GNUC__) && defined(__x86_64__)
#define HV_SHIM_GCC_X86_64 1
#else
#error "CallShim.cpp holds assembly for GCC (i386, x86-64) and MSVC (i386); port the shim for this target"
#endif

namespace hv {

namespace {

// How a guarded call ended.
struct CallOutcome {
  uint32_t faulted;  // 0: the callee returned; 1: it raised an exception
  uint32_t code;     // the exception's code when faulted
};

}  // namespace

}  // namespace hv

#if defined(HV_SHIM_MSVC_I386)

namespace hv {
namespace {

// Calls with ESI (callee-saved in both conventions) keeping ESP, so the
// callee may pop its argument (stdcall) or leave it (cdecl). The stack is
// aligned to 16 bytes at the call; the direction flag is cleared after it.
__declspec(naked) int32_t __cdecl CallKeepingStack(void (*proc)(), void* argument) {
  __asm {
    push ebp
    mov  ebp, esp
    push esi
    mov  eax, [ebp + 8]
    mov  ecx, [ebp + 12]
    mov  esi, esp
    and  esp, -16
    sub  esp, 12
    push ecx
    call eax
    mov  esp, esi
    cld
    pop  esi
    pop  ebp
    ret
  }
}

// The handler runs every unwind handler of the callee (the global unwind)
// and restores ESP, EBP and the callee-saved registers of this frame.
int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome* outcome) {
  __try {
    return CallKeepingStack(proc, argument);
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    __asm cld outcome->faulted = 1;
    outcome->code = GetExceptionCode();
    return 0;
  }
}

}  // namespace
}  // namespace hv

#elif defined(HV_SHIM_GCC_I386)

namespace hv {
namespace {

// The shim's registration record on the handler chain, extended by what the
// handler needs to resume the shim. It lies in the shim's frame; the offsets
// are those of the assembly below.
struct Registration {
  Registration* next;  // the record registered before (FS:[0] at the call)
  void* handler;       // hvShimHandler
  CallOutcome outcome;
  uint32_t shimFrame;  // the shim's EBP
};
static_assert(offsetof(Registration, outcome) == 8 && offsetof(Registration, shimFrame) == 16);

}  // namespace
}  // namespace hv

// int32_t hvCallShim(void (*proc)(), void* argument, CallOutcome* outcome)
//
// Saves EBX, ESI and EDI, registers its record at FS:[0] and calls `proc`
// with ESI keeping ESP, as the MSVC branch does. A fault resumes at
// hvShimLanded with ESP pointing at the record and EBP restored; from there
// both ways unregister the record, report the outcome and restore the
// saved registers. EAX is undefined after a fault.
extern "C" int32_t hvCallShim(void (*proc)(), void* argument, void* outcome) asm("hvCallShim");

// void hvShimUnwind(Registration* frame, EXCEPTION_RECORD* record)
//
// RtlUnwind to `frame`: calls the unwind handler of every record registered
// after it (the callee's own), and leaves `frame` first in the chain. The
// call keeps every register, which the system's RtlUnwind need not do.
extern "C" void hvShimUnwind(void* frame, EXCEPTION_RECORD* record) asm("hvShimUnwind");

// [[noreturn]] void hvShimResume(Registration* frame): continues the shim
// whose record `frame` is at hvShimLanded.
extern "C" [[noreturn]] void hvShimResume(void* frame) asm("hvShimResume");

asm(R"(
  .text
  .p2align 4
  .globl hvCallShim
hvCallShim:
  pushl %ebp
  movl  %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  pushl %ebp                  # shimFrame
  pushl $0                    # outcome.code
  pushl $0                    # outcome.faulted
  pushl $hvShimHandler        # handler
  pushl %fs:0                 # next
  movl  %esp, %fs:0           # registered
  movl  8(%ebp), %eax
  movl  12(%ebp), %ecx
  movl  %esp, %esi
  andl  $-16, %esp
  subl  $12, %esp
  pushl %ecx
  call  *%eax
  movl  %esi, %esp
hvShimLanded:
  cld
  movl  (%esp), %ecx
  movl  %ecx, %fs:0           # unregistered, with any record the callee left
  movl  16(%ebp), %ecx
  movl  8(%esp), %edx
  movl  %edx, (%ecx)
  movl  12(%esp), %edx
  movl  %edx, 4(%ecx)
  leal  -12(%ebp), %esp
  popl  %edi
  popl  %esi
  popl  %ebx
  popl  %ebp
  ret

  .p2align 4
  .globl hvShimUnwind
hvShimUnwind:
  pushl %ebp
  movl  %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  pushl %ebp
  pushl $0                    # return value
  pushl 12(%ebp)              # exception record
  pushl $1f                   # target address
  pushl 8(%ebp)               # target frame
  call  _RtlUnwind@16
1:
  popl  %ebp
  popl  %edi
  popl  %esi
  popl  %ebx
  movl  %ebp, %esp
  popl  %ebp
  ret

  .p2align 4
  .globl hvShimResume
hvShimResume:
  movl  4(%esp), %esp
  movl  16(%esp), %ebp
  jmp   hvShimLanded
)");

// The shim's handler, called by the system's exception dispatcher for an
// exception raised inside the call that no handler of the callee took.
extern "C" __attribute__((force_align_arg_pointer))
EXCEPTION_DISPOSITION __cdecl hvShimHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                            void*) asm("hvShimHandler");

EXCEPTION_DISPOSITION __cdecl hvShimHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                            void*) {
  // Another frame's unwind passing through: the shim has nothing to undo.
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  auto* registration = static_cast<hv::Registration*>(frame);
  // A second exception raised by one of the callee's unwind handlers skips
  // the remaining ones.
  if (!registration->outcome.faulted) {
    registration->outcome.faulted = 1;
    registration->outcome.code = record->ExceptionCode;
    hvShimUnwind(registration, record);
  }
  hvShimResume(registration);
}

namespace hv {
namespace {

int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome* outcome) {
  return hvCallShim(proc, argument, outcome);
}

}  // namespace
}  // namespace hv

#elif defined(HV_SHIM_GCC_X86_64)

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
  auto* outcome = *reinterpret_cast<hv::CallOutcome**>(static_cast<char*>(frame) + 32);
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

namespace hv {
namespace {

int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome* outcome) {
  return hvCallShim(proc, argument, outcome);
}

}  // namespace
}  // namespace hv
#endif

namespace hv {

namespace {

// The caller's floating-point state: the x87 environment and MXCSR. On
// x86-64 too, where the program's own arithmetic is SSE but long double and
// a library's code may still use the x87.
struct FloatingPointState {
  uint8_t x87[28];  // FNSTENV image: control word first
  uint32_t mxcsr;
};

bool HasSse() {
#if defined(__x86_64__)
  return true;
#else
  static const bool sse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
  return sse;
#endif
}

// FNSTENV masks every x87 exception after storing; FLDCW puts the caller's
// control word back for the call. The callee starts with clear x87
// exception flags: one of the caller's, met by a control word that unmasks
// it, would fault at the callee's first floating-point instruction.
void SaveFloatingPoint(FloatingPointState& state) {
#if defined(_MSC_VER)
  uint8_t* x87 = state.x87;
  __asm {
    mov eax, x87
    fnstenv [eax]
    fldcw [eax]
    fnclex
  }
  if (HasSse()) state.mxcsr = _mm_getcsr();
#else
  asm volatile("fnstenv %0\n\tfldcw %0\n\tfnclex" : "=m"(state.x87) : : "memory");
  if (HasSse()) asm volatile("stmxcsr %0" : "=m"(state.mxcsr) : : "memory");
#endif
}

// FNCLEX first: an exception the callee left pending and unmasked would
// otherwise be raised by FLDENV itself. FLDENV then also empties the x87
// register stack again, as the caller had it.
void RestoreFloatingPoint(const FloatingPointState& state) {
#if defined(_MSC_VER)
  const uint8_t* x87 = state.x87;
  __asm {
    mov eax, x87
    fnclex
    fldenv [eax]
  }
  if (HasSse()) _mm_setcsr(state.mxcsr);
#else
  asm volatile("fnclex\n\tfldenv %0" : : "m"(state.x87) : "memory");
  if (HasSse()) asm volatile("ldmxcsr %0" : : "m"(state.mxcsr) : "memory");
#endif
}

struct NamedException {
  uint32_t code;
  const char* name;
};

const NamedException kExceptionNames[] = {
    {EXCEPTION_ACCESS_VIOLATION, "access violation"},
    {EXCEPTION_IN_PAGE_ERROR, "in-page error"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "misaligned data"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "array bounds exceeded"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "illegal instruction"},
    {EXCEPTION_PRIV_INSTRUCTION, "privileged instruction"},
    {EXCEPTION_BREAKPOINT, "breakpoint"},
    {EXCEPTION_SINGLE_STEP, "single step"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "integer division by zero"},
    {EXCEPTION_INT_OVERFLOW, "integer overflow"},
    {EXCEPTION_FLT_DENORMAL_OPERAND, "floating-point denormal operand"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "floating-point division by zero"},
    {EXCEPTION_FLT_INEXACT_RESULT, "floating-point inexact result"},
    {EXCEPTION_FLT_INVALID_OPERATION, "floating-point invalid operation"},
    {EXCEPTION_FLT_OVERFLOW, "floating-point overflow"},
    {EXCEPTION_FLT_STACK_CHECK, "floating-point stack check"},
    {EXCEPTION_FLT_UNDERFLOW, "floating-point underflow"},
    {0xC00002B4, "floating-point multiple faults"},
    {0xC00002B5, "floating-point multiple traps"},
    {EXCEPTION_STACK_OVERFLOW, "stack overflow"},
    {EXCEPTION_GUARD_PAGE, "guard page violation"},
};

// The room the system keeps below the stack's guard page for reporting a
// stack overflow: it raises the exception on the overflowed stack. On
// x86-64 the exception's context and the register state the processor
// saves take some kilobytes before the dispatcher and the unwind to the
// shim have run; the default of two pages is too little, and the system
// then ends the process instead. 32-bit Windows keeps one page, enough there.
#if defined(__x86_64__)
constexpr uintptr_t kStackOverflowRoom = 32 * 1024;
#else
constexpr uintptr_t kStackOverflowRoom = 4 * 1024;
#endif

// Makes sure the thread's stack has a guard page at least the room above
// its bottom (and the system's no-access page), so that the next overflow
// is reported with that room left. The system keeps the guard page as the
// lowest committed page while the stack grows; Wine commits the whole stack
// and keeps the guard at the very bottom; and an overflow takes the guard
// away. Where none lies high enough, one goes just below the committed part,
// or, where the stack is committed further down, at the lowest place allowed.
void PlaceStackGuard() {
  constexpr uintptr_t page = 4096;  // on i386 and x86-64 alike
  volatile char here = 0;
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(const_cast<char*>(&here), &region, sizeof region) == 0) return;
  const uintptr_t bottom = reinterpret_cast<uintptr_t>(region.AllocationBase);
  const uintptr_t top = reinterpret_cast<uintptr_t>(&here) & ~(page - 1);
  const uintptr_t floor = bottom + 2 * page + kStackOverflowRoom;
  if (floor + 4 * page > top) return;  // too close to the bottom to leave the room

  // The lowest committed page of the stack.
  uintptr_t at = bottom;
  while (at < top) {
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == 0) return;
    if (region.State == MEM_COMMIT) break;
    at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  DWORD previous;
  if (at > floor) {
    if (region.Protect & PAGE_GUARD) return;  // as the system keeps it
    VirtualAlloc(reinterpret_cast<void*>(at - page), page, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
    return;
  }
  for (at = floor; at < top; at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize) {
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == 0) return;
    if (region.Protect & PAGE_GUARD) return;
  }
  VirtualProtect(reinterpret_cast<void*>(floor), page, PAGE_READWRITE | PAGE_GUARD, &previous);
}

// Once per thread, before its first library call: the room for reporting a
// stack overflow. (32-bit Windows XP has no stack guarantee to set, and its
// default room suffices there.)
void PrepareThreadStack() {
#if defined(__x86_64__)
  thread_local bool prepared = false;
  if (prepared) return;
  prepared = true;
  // Not certain to be in the oldest x64 system's kernel32; without it the
  // guard page alone leaves the system's default room.
  if (auto set = dyn::Functions().SetThreadStackGuarantee) {
    ULONG room = kStackOverflowRoom;
    set(&room);
  }
  PlaceStackGuard();
#endif
}

// "access violation (exception 0xC0000005) in a library call"
std::string FaultMessage(uint32_t code) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
  for (const NamedException& e : kExceptionNames) {
    if (e.code == code)
      return std::string(e.name) + " (exception " + number + ") in a library call";
  }
  return std::string("exception ") + number + " in a library call";
}

}  // namespace

int32_t CallWithOneArgument(void (*proc)(), void* argument) {
  PrepareThreadStack();
  FloatingPointState state;
  SaveFloatingPoint(state);
  CallOutcome outcome{0, 0};
  const int32_t result = CallGuarded(proc, argument, &outcome);
  RestoreFloatingPoint(state);
  if (!outcome.faulted) return result;

  // The overflow used up the stack's guard page; without a new one the next
  // overflow would end the process.
  if (outcome.code == EXCEPTION_STACK_OVERFLOW) PlaceStackGuard();
  throw ELibraryFault(outcome.code, FaultMessage(outcome.code));
}

}  // namespace hv
