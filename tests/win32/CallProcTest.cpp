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
// zero, flush to zero), then fault in one way each. Two of them register a
// handler of their own first, as code built with SEH does.
extern "C" {
int32_t hvWriteNull();
int32_t hvIllegal();
int32_t hvDivideByZero();
int32_t hvFloatDivideByZero();
int32_t hvSseDivideByZero();
int32_t hvOverflowStack();
int32_t hvRaiseSoftware();
int32_t hvFaultInOwnFrame();
int32_t hvHandledInside();
}

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
)");

int handlerDispatches = 0;
int handlerUnwinds = 0;

extern "C" __attribute__((force_align_arg_pointer))
EXCEPTION_DISPOSITION __cdecl hvCountingHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  ++(record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND) ? handlerUnwinds
                                                                            : handlerDispatches);
  return ExceptionContinueSearch;
}

extern "C" __attribute__((force_align_arg_pointer))
EXCEPTION_DISPOSITION __cdecl hvSkippingHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context,
                                                void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  context->Eip += 2;
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
    {"SSE division by zero", reinterpret_cast<ProcAddress>(&hvSseDivideByZero), 0xC00002B5,
     "floating-point multiple traps", 1000},
    {"stack overflow", reinterpret_cast<ProcAddress>(&hvOverflowStack), 0xC00000FD,
     "stack overflow", 100},
    {"software exception", reinterpret_cast<ProcAddress>(&hvRaiseSoftware), 0xE0484F52,
     "exception 0xE0484F52", 1000},
    {"fault under the library's own handler", reinterpret_cast<ProcAddress>(&hvFaultInOwnFrame),
     0xC0000005, "access violation", 1000},
};

TEST(CallProc, AFaultInsideTheCallIsAFailureOfTheCallAndLeavesTheCallerIntact) {
  const uint16_t control = test::X87ControlWord();
  const uint32_t mxcsr = test::Mxcsr();
  ASSERT_EQ(control & 0x0300, 0x0300) << "the program runs with a 64-bit mantissa";
  for (const FaultCase& c : kFaultCases) {
    SCOPED_TRACE(c.name);
    volatile uint32_t canary[4] = {0xDEADBEEF, 0x01234567, 0x89ABCDEF, 0xFEEDF00D};
    const uint32_t chain = test::HandlerChain();
    handlerDispatches = handlerUnwinds = 0;
    int failures = 0;
    const uintptr_t before = test::StackPointer();
    for (int i = 0; i < c.times; ++i) {
      // Values the compiler keeps in callee-saved registers across the call.
      uint32_t a = static_cast<uint32_t>(i) * 2654435761u,
               b = static_cast<uint32_t>(i) ^ 0x5A5A5A5A;
      asm volatile("" : "+r"(a), "+r"(b));
      try {
        test::Platform().CallProc(c.proc, nullptr);
      } catch (const ELibraryFault& fault) {
        ++failures;
        ASSERT_EQ(fault.Code(), c.code);
        ASSERT_NE(std::string(fault.what()).find(c.what), std::string::npos) << fault.what();
      }
      asm volatile("" : "+r"(a), "+r"(b));
      ASSERT_EQ(a, static_cast<uint32_t>(i) * 2654435761u);
      ASSERT_EQ(b, static_cast<uint32_t>(i) ^ 0x5A5A5A5A);
      ASSERT_EQ(test::X87ControlWord(), control);
      ASSERT_EQ(test::Mxcsr(), mxcsr);
      ASSERT_EQ(test::HandlerChain(), chain) << "no record of the call is left registered";
      volatile double sum = 0.0;
      for (int k = 0; k < 8; ++k) sum = sum + 1.5;
      ASSERT_EQ(sum, 12.0) << "the x87 register stack is empty again";
    }
    EXPECT_EQ(test::StackPointer(), before);
    EXPECT_EQ(failures, c.times);
    EXPECT_EQ(canary[0], 0xDEADBEEFu);
    EXPECT_EQ(canary[1], 0x01234567u);
    EXPECT_EQ(canary[2], 0x89ABCDEFu);
    EXPECT_EQ(canary[3], 0xFEEDF00Du);
    if (c.proc == reinterpret_cast<ProcAddress>(&hvFaultInOwnFrame)) {
      EXPECT_EQ(handlerDispatches, c.times) << "the library's own handler is asked first";
      EXPECT_EQ(handlerUnwinds, c.times) << "and unwound before the call ends";
    }
    ExpectQuietFullPrecisionArithmetic();
  }
}

TEST(CallProc, ExceptionsTheLibraryHandlesItselfStayInside) {
  const uint32_t chain = test::HandlerChain();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(test::Platform().CallProc(reinterpret_cast<ProcAddress>(&hvHandledInside), nullptr),
              42);
  }
  EXPECT_EQ(test::HandlerChain(), chain);
}

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

}  // namespace
}  // namespace hv
