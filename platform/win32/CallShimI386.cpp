// The call shim on i386: the guarded call, with an exception handler of its
// own registered on the thread's handler chain at FS:[0].
//
// GCC (MinGW) has no __try/__except, so the GCC branch is assembly. The
// system accepts a frame handler only from an image that neither is marked
// "no SEH" nor carries a safe-handler table lacking it; the MinGW linker
// writes neither (the Win32 tests check this on their own image). An MSVC
// build takes the _MSC_VER branch, which says the same with __try/__except
// and __asm.
#if defined(__i386__) || defined(_M_IX86)

#include <cstddef>
#include <cstdint>

#include "platform/win32/GuardedCall.h"
#include "platform/win32/WinApi.h"

#if defined(_MSC_VER)
namespace hv::shim {
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

}  // namespace

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

}  // namespace hv::shim

#else   // GCC

namespace hv {
namespace {

// The shim's registration record on the handler chain, extended by what the
// handler needs to resume the shim. It lies in the shim's frame; the offsets
// are those of the assembly below.
struct Registration {
  Registration* next;  // the record registered before (FS:[0] at the call)
  void* handler;       // hvShimHandler
  shim::CallOutcome outcome;
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

namespace hv::shim {

int32_t CallGuarded(void (*proc)(), void* argument, CallOutcome* outcome) {
  return hvCallShim(proc, argument, outcome);
}

}  // namespace hv::shim
#endif  // GCC
#endif  // i386
