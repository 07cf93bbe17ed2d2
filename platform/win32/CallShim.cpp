// The one compiler-specific file: the call shim, in GCC i386 assembly.
//
// An MSVC build would use an `__asm` block in a __declspec(naked) function
// (or a tiny .asm file for ml) with the same instructions as below.
#include "platform/win32/CallShim.h"

#if !defined(__GNUC__) || !defined(__i386__)
#error "CallShim.cpp holds i386 GCC assembly; port the shim for this compiler or target"
#endif

// int32_t hvCallShim(void (*proc)(), void* argument)   -- cdecl
//
// ESI (callee-saved in both conventions) keeps ESP across the call, so the
// callee may pop its argument (stdcall) or leave it (cdecl). The stack is
// aligned to 16 bytes at the call, as code built with GCC expects.
extern "C" int32_t hvCallShim(void (*proc)(), void* argument) asm("hvCallShim");

asm(R"(
  .text
  .p2align 4
  .globl hvCallShim
hvCallShim:
  pushl %ebp
  movl  %esp, %ebp
  pushl %esi
  movl  8(%ebp), %eax
  movl  12(%ebp), %ecx
  movl  %esp, %esi
  andl  $-16, %esp
  subl  $12, %esp
  pushl %ecx
  call  *%eax
  movl  %esi, %esp
  popl  %esi
  popl  %ebp
  ret
)");

namespace hv {

int32_t CallWithOneArgument(void (*proc)(), void* argument) {
  return hvCallShim(proc, argument);
}

}  // namespace hv
