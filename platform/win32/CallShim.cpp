// The call shim into a foreign library: the floating-point state around the
// call, the stack's guard page, and a fault turned into ELibraryFault. The
// guarded call itself is the one compiler-specific part, in assembly, one
// file per architecture (GuardedCall.h): CallShimI386.cpp registers a
// handler on the thread's handler chain at FS:[0]; CallShimX64.cpp names its
// handler in its own unwind data. An MSVC build (i386 only) takes the
// _MSC_VER branches, which say the same with __try/__except and __asm.
#include "platform/win32/CallShim.h"

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "platform/win32/DynamicApi.h"
#include "platform/win32/GuardedCall.h"
#include "platform/win32/WinApi.h"

#if defined(_MSC_VER)
#include <xmmintrin.h>  // _mm_getcsr, _mm_setcsr
#endif

#if !(defined(_MSC_VER) && defined(_M_IX86)) && \
    !(defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__)))
#error \
    "The call shim holds assembly for GCC (i386, x86-64) and MSVC (i386); port it for this target"
#endif
namespace hv {

namespace {

bool HasSse() {
#if defined(__x86_64__)
  return true;
#else
  static const bool sse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
  return sse;
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
  for (at = floor; at < top;
       at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize) {
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

// The x87 environment and MXCSR; on x86-64 too, where the program's own
// arithmetic is SSE but long double and a library's code may still use the
// x87. FNSTENV masks every x87 exception after storing; FLDCW puts the
// caller's control word back for the callee. The callee starts with clear
// x87 exception flags: one of the caller's, met by a control word that
// unmasks it, would fault at the callee's first floating-point instruction.
KeepFloatingPoint::KeepFloatingPoint() {
#if defined(_MSC_VER)
  uint8_t* x87 = x87_;
  __asm {
    mov eax, x87
    fnstenv [eax]
    fldcw [eax]
    fnclex
  }
  if (HasSse()) mxcsr_ = _mm_getcsr();
#else
  asm volatile("fnstenv %0\n\tfldcw %0\n\tfnclex" : "=m"(x87_) : : "memory");
  if (HasSse()) asm volatile("stmxcsr %0" : "=m"(mxcsr_) : : "memory");
#endif
}

// FNCLEX first: an exception the callee left pending and unmasked would
// otherwise be raised by FLDENV itself. FLDENV then also empties the x87
// register stack again, as the caller had it.
KeepFloatingPoint::~KeepFloatingPoint() {
#if defined(_MSC_VER)
  const uint8_t* x87 = x87_;
  __asm {
    mov eax, x87
    fnclex
    fldenv [eax]
  }
  if (HasSse()) _mm_setcsr(mxcsr_);
#else
  asm volatile("fnclex\n\tfldenv %0" : : "m"(x87_) : "memory");
  if (HasSse()) asm volatile("ldmxcsr %0" : : "m"(mxcsr_) : "memory");
#endif
}

int32_t CallWithOneArgument(void (*proc)(), void* argument) {
  PrepareThreadStack();
  shim::CallOutcome outcome{0, 0};
  int32_t result;
  {
    KeepFloatingPoint keep;
    result = shim::CallGuarded(proc, argument, &outcome);
  }
  if (!outcome.faulted) return result;

  // The overflow used up the stack's guard page; without a new one the next
  // overflow would end the process.
  if (outcome.code == EXCEPTION_STACK_OVERFLOW) PlaceStackGuard();
  throw ELibraryFault(outcome.code, FaultMessage(outcome.code));
}

}  // namespace hv
