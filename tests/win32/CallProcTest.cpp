// The call shim: both calling conventions, with and without an argument,
// and the one-byte flags read through the receiver binding.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace hv
