// The one compiler-specific file: the call shim into a foreign library, its
// structured exception handling and the floating-point state around it.
//
// GCC (MinGW, i386) has no __try/__except: the shim registers an exception
// handler of its own on the thread's handler chain at FS:[0] for the time of
// the call. An MSVC build takes the #ifdef _MSC_VER branches below, which
// say the same with __try/__except and __asm.
//
// The system accepts a frame handler only from an image that neither is
// marked "no SEH" nor carries a safe-handler table lacking it; the MinGW
// linker writes neither (the Win32 tests check this on their own image).
#include "platform/win32/CallShim.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <malloc.h>  // _resetstkoflw

#include "platform/Platform.h"
#include "platform/win32/WinApi.h"

#if defined(_MSC_VER)
#include <xmmintrin.h>  // _mm_getcsr, _mm_setcsr
#endif

#if !defined(_MSC_VER) && !(defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__)))
#error "CallShim.cpp holds i386 assembly for GCC and MSVC; port the shim for this compiler"
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

#if defined(_MSC_VER)

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

#elif defined(__x86_64__)

namespace hv {
namespace {

// Interim: a plain call, not yet guarded against faults of the library.
int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome*) {
  return reinterpret_cast<int32_t (*)(void*)>(proc)(argument);
}

}  // namespace
}  // namespace hv

#else  // GCC, i386

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

#endif

namespace hv {

namespace {

// The caller's floating-point state: the x87 environment and MXCSR.
struct FloatingPointState {
  uint8_t x87[28];  // FNSTENV image: control word first
  uint32_t mxcsr;
};

bool HasSse() {
  static const bool sse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
  return sse;
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
  FloatingPointState state;
  SaveFloatingPoint(state);
  CallOutcome outcome{0, 0};
  const int32_t result = CallGuarded(proc, argument, &outcome);
  RestoreFloatingPoint(state);
  if (!outcome.faulted) return result;

  // The overflow used up the stack's guard page; without a new one the next
  // overflow would end the process.
  if (outcome.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  throw ELibraryFault(outcome.code, FaultMessage(outcome.code));
}

}  // namespace hv
