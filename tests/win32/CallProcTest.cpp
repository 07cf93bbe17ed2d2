// The call shim: both calling conventions, with and without an argument,
// the one-byte flags read through the receiver binding, and entry points
// that fault or leave the floating-point control changed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "device/KronaltIF.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

int calls = 0;
void* lastArgument = nullptr;

extern "C" int32_t __cdecl CdeclWithout() {
  ++calls;
  return 0x11223344;
}
extern "C" int32_t __cdecl CdeclWith(void* argument) {
  ++calls;
  lastArgument = argument;
  ++*static_cast<int*>(argument);
  return -5;
}
extern "C" int32_t __stdcall StdcallWithout() {
  ++calls;
  return 0x7FFFFFFF;
}
extern "C" int32_t __stdcall StdcallWith(void* argument) {
  ++calls;
  lastArgument = argument;
  ++*static_cast<int*>(argument);
  return static_cast<int32_t>(0x80000001u);
}

struct ShimCase {
  const char* name;
  ProcAddress proc;
  bool takesArgument;
  int32_t result;
};

const ShimCase kShimCases[] = {
    {"cdecl, no argument", reinterpret_cast<ProcAddress>(&CdeclWithout), false, 0x11223344},
    {"cdecl, one argument", reinterpret_cast<ProcAddress>(&CdeclWith), true, -5},
    {"stdcall, no argument", reinterpret_cast<ProcAddress>(&StdcallWithout), false, 0x7FFFFFFF},
    {"stdcall, one argument", reinterpret_cast<ProcAddress>(&StdcallWith), true,
     static_cast<int32_t>(0x80000001u)},
};

TEST(CallProc, EveryConventionReturnsEaxAndLeavesTheStackIntact) {
  for (const ShimCase& c : kShimCases) {
    SCOPED_TRACE(c.name);
    volatile uint32_t canary[4] = {0xDEADBEEF, 0x01234567, 0x89ABCDEF, 0xFEEDF00D};
    int counter = 0;
    calls = 0;
    const uintptr_t before = test::StackPointer();
    for (int i = 0; i < 1000; ++i) {
      void* argument = c.takesArgument ? &counter : nullptr;
      ASSERT_EQ(test::Platform().CallProc(c.proc, argument), c.result);
    }
    const uintptr_t after = test::StackPointer();
    EXPECT_EQ(before, after);
    EXPECT_EQ(calls, 1000);
    EXPECT_EQ(canary[0], 0xDEADBEEFu);
    EXPECT_EQ(canary[1], 0x01234567u);
    EXPECT_EQ(canary[2], 0x89ABCDEFu);
    EXPECT_EQ(canary[3], 0xFEEDF00Du);
    if (c.takesArgument) {
      EXPECT_EQ(counter, 1000) << "the argument reaches the callee";
      EXPECT_EQ(lastArgument, &counter);
    }
  }
}

// Entry points of a pretend receiver library whose one-byte results carry
// garbage in the upper 24 bits.
uint32_t rawResult = 0;
extern "C" int32_t __stdcall RawWithout() {
  return static_cast<int32_t>(rawResult);
}
extern "C" int32_t __cdecl RawWith(void* buffer) {
  std::memset(buffer, 0x5A, 8);
  return static_cast<int32_t>(rawResult);
}

// The real shim, with the library's entry points taken from this file.
class GarbageLibrary : public Win32Platform {
 public:
  ModuleHandle LoadLibrary(const char*) override { return reinterpret_cast<ModuleHandle>(this); }
  ProcAddress GetProcAddress(ModuleHandle, const char* name) override {
    static const std::map<std::string, ProcAddress> withBuffer = {
        {"_Open", reinterpret_cast<ProcAddress>(&RawWith)},
        {"_GetTimeData", reinterpret_cast<ProcAddress>(&RawWith)},
        {"_GetDeviceInfo", reinterpret_cast<ProcAddress>(&RawWith)},
        {"_GetSerialNumber", reinterpret_cast<ProcAddress>(&RawWith)},
        {"_GetManufacturer", reinterpret_cast<ProcAddress>(&RawWith)},
        {"_GetProduct", reinterpret_cast<ProcAddress>(&RawWith)},
    };
    auto it = withBuffer.find(name);
    return it != withBuffer.end() ? it->second : reinterpret_cast<ProcAddress>(&RawWithout);
  }
};

TEST(CallProc, FlagsAreReadFromTheLowByteOnly) {
  GarbageLibrary library;
  InstallPlatform(&library);
  ASSERT_TRUE(LoadDeviceLibrary());

  struct FlagCase {
    uint32_t raw;
    bool flag;
  };
  const FlagCase cases[] = {
      {0xA5A5A500, false}, {0xA5A5A501, true}, {0xFFFFFF00, false},
      {0x00000100, false}, {0x000000FF, true}, {0x80000002, true},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.raw);
    rawResult = c.raw;
    TimeData record{};
    EXPECT_EQ(_TimeChanged(), c.flag);
    EXPECT_EQ(_Open(), c.flag);
    EXPECT_EQ(_GetTimeData(record), c.flag);
    EXPECT_EQ(record[0], 0x5A);
    EXPECT_EQ(_GetCfg(), static_cast<uint8_t>(c.raw & 0xFF));
  }
  InstallPlatform(&test::Platform());
}

// Pretend library entry points that trash the callee-saved registers, set
// the direction flag, leave values on the x87 stack and change the x87 and
// SSE control (IM, ZM, OM unmasked, 24-bit precision, SSE rounding toward
// zero, flush to zero), then fault in one way each. Most do so without
// saving anything, which the x86-64 convention forbids but a faulty library
// may do; hvFaultAfterSaving saves every callee-saved register first, as a
// function that uses them does. Two of them have a handler of their own, as
// code built with SEH has: hvFaultInOwnFrame's lets the fault pass,
// hvHandledInside's handles it. hvOverflowStack recurses without end.
extern "C" {
int32_t hvWriteNull();
int32_t hvIllegal();
int32_t hvDivideByZero();
int32_t hvFloatDivideByZero();
int32_t hvSseDivideByZero();
int32_t hvOverflowStack();
int32_t hvRaiseSoftware();
int32_t hvFaultAfterSaving();
int32_t hvFaultInOwnFrame();
int32_t hvHandledInside();

}

// The shim's own entry and how its call ended. The C++ between the
// platform's CallProc and the shim saves callee-saved registers of its own
// and would hide one the shim loses, so the registers are checked here.
struct ShimOutcome {
  uint32_t faulted;
  uint32_t code;
};
extern "C" int32_t hvCallShim(ProcAddress proc, void* argument, ShimOutcome* outcome)
    asm("hvCallShim");

// Calls `shim(proc, argument, outcome)` with every callee-saved register set
// to a pattern of its own and returns a mask of those that do not have it
// afterwards: i386 bits 0-3 EBX, ESI, EDI, EBP; x86-64 bits 0-7 RBX, RSI,
// RDI, RBP, R12-R15 and bits 8-17 XMM6-XMM15.
extern "C" uint32_t hvWithPatternRegisters(decltype(&hvCallShim) shim, ProcAddress proc,
                                           void* argument, ShimOutcome* outcome)
    asm("hvWithPatternRegisters");

#if defined(__x86_64__)
asm(R"(
  .macro hv_mess
  movabsq $0xBAD0000000000001, %rbx
  movabsq $0xBAD0000000000002, %rsi
  movabsq $0xBAD0000000000003, %rdi
  movabsq $0xBAD0000000000004, %rbp
  movabsq $0xBAD0000000000005, %r12
  movabsq $0xBAD0000000000006, %r13
  movabsq $0xBAD0000000000007, %r14
  movabsq $0xBAD0000000000008, %r15
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  pcmpeqd %xmm\n, %xmm\n
  .endr
  std
  fldcw hvMessX87(%rip)
  ldmxcsr hvMessMxcsr(%rip)
  fld1
  fldpi
  .endm

  .section .rdata,"dr"
  .p2align 4
hvMessX87:
  .short 0x0072
  .p2align 2
hvMessMxcsr:
  .long 0xF900
  .p2align 4
hvPatterns:
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  .quad 0x5EED000000000000 + \n, 0x5EED0000FFFF0000 + \n
  .endr

  .text
  .globl hvWriteNull
hvWriteNull:
  hv_mess
  xorl  %eax, %eax
  movl  %eax, (%rax)

  .globl hvIllegal
hvIllegal:
  hv_mess
  ud2

  .globl hvDivideByZero
hvDivideByZero:
  hv_mess
  xorl  %ecx, %ecx
  movl  $1, %eax
  cltd
  idivl %ecx

  .globl hvFloatDivideByZero
hvFloatDivideByZero:
  hv_mess
  fldz
  fdivrp %st, %st(1)
  fwait
  ud2

  .globl hvSseDivideByZero
hvSseDivideByZero:
  hv_mess
  xorps %xmm0, %xmm0
  movl  $1, %eax
  cvtsi2ss %eax, %xmm1
  divss %xmm0, %xmm1
  ud2

  .globl hvOverflowStack
hvOverflowStack:
  hv_mess
  jmp   hvRecurse

  .seh_proc hvRecurse
hvRecurse:
  pushq %rbp
  .seh_pushreg %rbp
  subq  $2048, %rsp
  .seh_stackalloc 2048
  .seh_endprologue
  movq  %rax, (%rsp)
  callq hvRecurse
  nop
  addq  $2048, %rsp
  popq  %rbp
  ret
  .seh_endproc

  .globl hvRaiseSoftware
  .seh_proc hvRaiseSoftware
hvRaiseSoftware:
  subq  $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  movl  $0xE0484F52, %ecx
  movl  $1, %edx              # EXCEPTION_NONCONTINUABLE
  xorl  %r8d, %r8d
  xorl  %r9d, %r9d
  callq RaiseException
  ud2
  .seh_endproc

  .globl hvFaultAfterSaving
  .seh_proc hvFaultAfterSaving
hvFaultAfterSaving:
  .irp r, rbp, rbx, rsi, rdi, r12, r13, r14, r15
  pushq %\r
  .seh_pushreg %\r
  .endr
  subq  $168, %rsp
  .seh_stackalloc 168
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  movaps %xmm\n, (\n-6)*16(%rsp)
  .seh_savexmm %xmm\n, (\n-6)*16
  .endr
  .seh_endprologue
  hv_mess
  xorl  %eax, %eax
  movl  %eax, (%rax)
  nop
  .seh_endproc

  .globl hvFaultInOwnFrame
  .seh_proc hvFaultInOwnFrame
hvFaultInOwnFrame:
  pushq %rbp
  .seh_pushreg %rbp
  subq  $32, %rsp
  .seh_stackalloc 32
  .seh_endprologue
  .seh_handler hvCountingHandler, @except, @unwind
  hv_mess
  xorl  %eax, %eax
  movl  %eax, (%rax)
  nop
  .seh_endproc

  .globl hvHandledInside
  .seh_proc hvHandledInside
hvHandledInside:
  subq  $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  .seh_handler hvSkippingHandler, @except
  xorl  %eax, %eax
  movl  %eax, (%rax)          # two bytes, skipped by the handler
  movl  $42, %eax
  addq  $40, %rsp
  ret
  .seh_endproc

  .globl hvWithPatternRegisters
  .seh_proc hvWithPatternRegisters
hvWithPatternRegisters:
  .irp r, rbp, rbx, rsi, rdi, r12, r13, r14, r15
  pushq %\r
  .seh_pushreg %\r
  .endr
  subq  $200, %rsp
  .seh_stackalloc 200
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  movaps %xmm\n, 32+(\n-6)*16(%rsp)
  .seh_savexmm %xmm\n, 32+(\n-6)*16
  .endr
  .seh_endprologue
  movq  %rcx, %rax
  movq  %rdx, %rcx
  movq  %r8, %rdx
  movq  %r9, %r8
  movabsq $0x5EED000000000001, %rbx
  movabsq $0x5EED000000000002, %rsi
  movabsq $0x5EED000000000003, %rdi
  movabsq $0x5EED000000000004, %rbp
  movabsq $0x5EED000000000005, %r12
  movabsq $0x5EED000000000006, %r13
  movabsq $0x5EED000000000007, %r14
  movabsq $0x5EED000000000008, %r15
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  movdqa hvPatterns+(\n-6)*16(%rip), %xmm\n
  .endr
  callq *%rax
  xorl  %eax, %eax
  .irp k, 1, 2, 3, 4, 5, 6, 7, 8
  .if \k == 1
  movq  %rbx, %rcx
  .elseif \k == 2
  movq  %rsi, %rcx
  .elseif \k == 3
  movq  %rdi, %rcx
  .elseif \k == 4
  movq  %rbp, %rcx
  .elseif \k == 5
  movq  %r12, %rcx
  .elseif \k == 6
  movq  %r13, %rcx
  .elseif \k == 7
  movq  %r14, %rcx
  .else
  movq  %r15, %rcx
  .endif
  movabsq $0x5EED00000000000\k, %rdx
  leal  (1 << (\k-1))(%rax), %r8d
  cmpq  %rdx, %rcx
  cmovnel %r8d, %eax
  .endr
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  pcmpeqb hvPatterns+(\n-6)*16(%rip), %xmm\n
  pmovmskb %xmm\n, %ecx
  leal  (1 << (\n+2))(%rax), %r8d
  cmpl  $0xFFFF, %ecx
  cmovnel %r8d, %eax
  .endr
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  movaps 32+(\n-6)*16(%rsp), %xmm\n
  .endr
  addq  $200, %rsp
  .irp r, r15, r14, r13, r12, rdi, rsi, rbx, rbp
  popq  %\r
  .endr
  ret
  .seh_endproc
)");
#define HV_INSTRUCTION_POINTER Rip
#else
asm(R"(
  .macro hv_mess
  movl  $0xBAD00001, %ebx
  movl  $0xBAD00002, %esi
  movl  $0xBAD00003, %edi
  movl  $0xBAD00004, %ebp
  std
  pushl $0x0072
  fldcw (%esp)
  movl  $0xF900, (%esp)
  ldmxcsr (%esp)
  addl  $4, %esp
  fld1
  fldpi
  .endm

  .text
  .globl _hvWriteNull
_hvWriteNull:
  hv_mess
  xorl  %eax, %eax
  movl  %eax, (%eax)

  .globl _hvIllegal
_hvIllegal:
  hv_mess
  ud2

  .globl _hvDivideByZero
_hvDivideByZero:
  hv_mess
  xorl  %ecx, %ecx
  movl  $1, %eax
  cltd
  idivl %ecx

  .globl _hvFloatDivideByZero
_hvFloatDivideByZero:
  hv_mess
  fldz
  fdivrp %st, %st(1)
  fwait
  ud2

  .globl _hvSseDivideByZero
_hvSseDivideByZero:
  hv_mess
  xorps %xmm0, %xmm0
  movl  $1, %eax
  cvtsi2ss %eax, %xmm1
  divss %xmm0, %xmm1
  ud2

  .globl _hvOverflowStack
_hvOverflowStack:
  hv_mess
1:
  subl  $512, %esp
  movl  %eax, (%esp)
  jmp   1b

  .globl _hvRaiseSoftware
_hvRaiseSoftware:
  pushl $0
  pushl $0
  pushl $1                    # EXCEPTION_NONCONTINUABLE
  pushl $0xE0484F52
  call  _RaiseException@16
  ud2

  .globl _hvFaultAfterSaving
_hvFaultAfterSaving:
  pushl %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  subl  $64, %esp
  hv_mess
  xorl  %eax, %eax
  movl  %eax, (%eax)

  .globl _hvFaultInOwnFrame
_hvFaultInOwnFrame:
  pushl $_hvCountingHandler
  pushl %fs:0
  movl  %esp, %fs:0
  hv_mess
  xorl  %eax, %eax
  movl  %eax, (%eax)

  .globl _hvHandledInside
_hvHandledInside:
  pushl $_hvSkippingHandler
  pushl %fs:0
  movl  %esp, %fs:0
  xorl  %eax, %eax
  movl  %eax, (%eax)          # two bytes, skipped by the handler
  movl  $42, %eax
  popl  %fs:0
  addl  $4, %esp
  ret

  .globl hvWithPatternRegisters
hvWithPatternRegisters:
  pushl %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl  20(%esp), %eax
  subl  $4, %esp
  pushl 36(%esp)
  pushl 36(%esp)
  pushl 36(%esp)
  movl  $0x5EED0001, %ebx
  movl  $0x5EED0002, %esi
  movl  $0x5EED0003, %edi
  movl  $0x5EED0004, %ebp
  call  *%eax
  addl  $16, %esp
  xorl  %eax, %eax
  .irp k, 1, 2, 3, 4
  .if \k == 1
  movl  %ebx, %ecx
  .elseif \k == 2
  movl  %esi, %ecx
  .elseif \k == 3
  movl  %edi, %ecx
  .else
  movl  %ebp, %ecx
  .endif
  leal  (1 << (\k-1))(%eax), %edx
  cmpl  $0x5EED000\k, %ecx
  cmovnel %edx, %eax
  .endr
  popl  %edi
  popl  %esi
  popl  %ebx
  popl  %ebp
  ret
)");
#define HV_INSTRUCTION_POINTER Eip
#endif

// Frame handlers of the pretend library; the calling convention attribute
// and the stack realignment matter on i386 only.
#if defined(__x86_64__)
#define HV_FRAME_HANDLER extern "C"
#else
#define HV_FRAME_HANDLER extern "C" __attribute__((force_align_arg_pointer)) __cdecl
#endif

int handlerDispatches = 0;
int handlerUnwinds = 0;

HV_FRAME_HANDLER EXCEPTION_DISPOSITION hvCountingHandler(EXCEPTION_RECORD* record, void*, CONTEXT*,
                                                         void*) {
  ++(record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND) ? handlerUnwinds
                                                                            : handlerDispatches);
  return ExceptionContinueSearch;
}

HV_FRAME_HANDLER EXCEPTION_DISPOSITION hvSkippingHandler(EXCEPTION_RECORD* record, void*,
                                                         CONTEXT* context, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  context->HV_INSTRUCTION_POINTER += 2;
  return ExceptionContinueExecution;
}

// The program's own arithmetic as it relies on it: overflow gives inf
// quietly, zero divided by zero NaN, and long double keeps 64 bits.
void ExpectQuietFullPrecisionArithmetic() {
  volatile double big = 1e300, zero = 0.0;
  volatile double product = big * big;
  volatile double quotient = zero / zero;
  EXPECT_TRUE(std::isinf(product));
  EXPECT_TRUE(std::isnan(quotient));
  volatile long double one = 1.0L, tiny = 0x1p-62L;
  EXPECT_NE(one + tiny, one) << "64-bit mantissa";
}

struct FaultCase {
  const char* name;
  ProcAddress proc;
  uint32_t code;
  const char* what;
  int times;
};

const FaultCase kFaultCases[] = {
    {"write through null", reinterpret_cast<ProcAddress>(&hvWriteNull), 0xC0000005,
     "access violation", 1000},
    {"illegal instruction", reinterpret_cast<ProcAddress>(&hvIllegal), 0xC000001D,
     "illegal instruction", 1000},
    {"integer division by zero", reinterpret_cast<ProcAddress>(&hvDivideByZero), 0xC0000094,
     "integer division by zero", 1000},
    {"x87 division by zero", reinterpret_cast<ProcAddress>(&hvFloatDivideByZero), 0xC000008E,
     "floating-point division by zero", 1000},
#if defined(__x86_64__)  // the 64-bit system names the SSE exception, the 32-bit one does not
    {"SSE division by zero", reinterpret_cast<ProcAddress>(&hvSseDivideByZero), 0xC000008E,
     "floating-point division by zero", 1000},
#else
    {"SSE division by zero", reinterpret_cast<ProcAddress>(&hvSseDivideByZero), 0xC00002B5,
     "floating-point multiple traps", 1000},
#endif
    {"stack overflow", reinterpret_cast<ProcAddress>(&hvOverflowStack), 0xC00000FD,
     "stack overflow", 100},
    {"software exception", reinterpret_cast<ProcAddress>(&hvRaiseSoftware), 0xE0484F52,
     "exception 0xE0484F52", 1000},
    {"fault after saving the registers", reinterpret_cast<ProcAddress>(&hvFaultAfterSaving),
     0xC0000005, "access violation", 1000},
    {"fault under the library's own handler", reinterpret_cast<ProcAddress>(&hvFaultInOwnFrame),
     0xC0000005, "access violation", 1000},
};

// The bare shim does not keep the floating-point state; this does it for
// the test's call of it, as CallWithOneArgument does (the callee starts
// with clear x87 exception flags).
uint32_t CallShimWithPatternRegisters(ProcAddress proc, ShimOutcome* outcome) {
  uint8_t x87[28];
  uint32_t mxcsr;
  asm volatile("fnstenv %0\n\tfldcw %0\n\tfnclex\n\tstmxcsr %1"
               : "=m"(x87), "=m"(mxcsr)
               :
               : "memory");
  const uint32_t lost = hvWithPatternRegisters(&hvCallShim, proc, nullptr, outcome);
  asm volatile("fnclex\n\tfldenv %0\n\tldmxcsr %1" : : "m"(x87), "m"(mxcsr) : "memory");
  return lost;
}

TEST(CallProc, AFaultInsideTheCallIsAFailureOfTheCallAndLeavesTheCallerIntact) {
  ASSERT_EQ(test::X87ControlWord() & 0x0300, 0x0300) << "the program runs with a 64-bit mantissa";
  for (const FaultCase& c : kFaultCases) {
    SCOPED_TRACE(c.name);
    // Per case: the arithmetic check at the end of each leaves status flags.
    const uint16_t control = test::X87ControlWord();
    const uint32_t mxcsr = test::Mxcsr();
    volatile uint32_t canary[4] = {0xDEADBEEF, 0x01234567, 0x89ABCDEF, 0xFEEDF00D};
    const uintptr_t chain = test::HandlerChain();
    handlerDispatches = handlerUnwinds = 0;
    int calls = 0;
    const uintptr_t before = test::StackPointer();
    for (int i = 0; i < c.times; ++i) {
      // Through the bare shim an overflow would leave the stack without its
      // guard page; the platform's call puts it back.
      if (c.code != EXCEPTION_STACK_OVERFLOW) {
        ShimOutcome outcome{0, 0};
        ++calls;
        ASSERT_EQ(CallShimWithPatternRegisters(c.proc, &outcome), 0u) << "callee-saved registers";
        ASSERT_EQ(outcome.faulted, 1u);
        ASSERT_EQ(outcome.code, c.code);
      }
      try {
        ++calls;
        test::Platform().CallProc(c.proc, nullptr);
        FAIL() << "no fault";
      } catch (const ELibraryFault& fault) {
        ASSERT_EQ(fault.Code(), c.code);
        ASSERT_NE(std::string(fault.what()).find(c.what), std::string::npos) << fault.what();
      }
      ASSERT_EQ(test::X87ControlWord(), control);
      ASSERT_EQ(test::Mxcsr(), mxcsr);
      ASSERT_EQ(test::HandlerChain(), chain) << "no handler of the call is left registered";
      volatile double sum = 0.0;
      for (int k = 0; k < 8; ++k) sum = sum + 1.5;
      ASSERT_EQ(sum, 12.0) << "the x87 register stack is empty again";
    }
    EXPECT_EQ(test::StackPointer(), before);
    EXPECT_EQ(canary[0], 0xDEADBEEFu);
    EXPECT_EQ(canary[1], 0x01234567u);
    EXPECT_EQ(canary[2], 0x89ABCDEFu);
    EXPECT_EQ(canary[3], 0xFEEDF00Du);
    if (c.proc == reinterpret_cast<ProcAddress>(&hvFaultInOwnFrame)) {
      EXPECT_EQ(handlerDispatches, calls) << "the library's own handler is asked first";
      EXPECT_EQ(handlerUnwinds, calls) << "and unwound before the call ends";
    }
    ExpectQuietFullPrecisionArithmetic();
  }
}

TEST(CallProc, ExceptionsTheLibraryHandlesItselfStayInside) {
  const uintptr_t chain = test::HandlerChain();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(test::Platform().CallProc(reinterpret_cast<ProcAddress>(&hvHandledInside), nullptr),
              42);
  }
  EXPECT_EQ(test::HandlerChain(), chain);
}

#if defined(__x86_64__)
extern "C" char hvShimHandler[] asm("hvShimHandler");
extern "C" char hvShimLanded[] asm("hvShimLanded");

// The system finds the shim's handler in the unwind entry of the function
// the call returns to; the landing after a fault must lie in that function.
TEST(CallProc, TheSystemFindsTheShimsHandlerInItsUnwindData) {
  DWORD64 base = 0;
  const RUNTIME_FUNCTION* entry =
      RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(hvShimLanded), &base, nullptr);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(base + entry->BeginAddress, reinterpret_cast<DWORD64>(&hvCallShim));
  const auto* info = reinterpret_cast<const uint8_t*>(base + entry->UnwindData);
  EXPECT_EQ(info[0] >> 3, UNW_FLAG_EHANDLER) << "an exception handler, no unwind handler";
  const unsigned slots = (info[2] + 1u) & ~1u;  // unwind codes, padded to an even count
  uint32_t handler;
  std::memcpy(&handler, info + 4 + 2 * slots, sizeof handler);
  EXPECT_EQ(base + handler, reinterpret_cast<DWORD64>(hvShimHandler));
}
#else
// Frame-based handlers of an image are refused by the system when the image
// says it has none, or when it lists its handlers and the shim's is not
// among them; the build must write neither.
TEST(CallProc, TheSystemAcceptsTheShimsHandlerFromThisImage) {
  const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH, 0);
  const IMAGE_DATA_DIRECTORY& config =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
  if (config.VirtualAddress != 0) {
    const auto* load =
        reinterpret_cast<const IMAGE_LOAD_CONFIG_DIRECTORY32*>(base + config.VirtualAddress);
    EXPECT_TRUE(config.Size <= offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SEHandlerTable) ||
                load->SEHandlerTable == 0)
        << "a safe-handler table that does not list the shim's handler";
  }
}
#endif

}  // namespace
}  // namespace hv
