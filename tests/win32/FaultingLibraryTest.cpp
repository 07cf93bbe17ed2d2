// The program's binding of a simulator build that faults and leaves the
// floating-point control changed, by its start-up and by its calls: every
// call through the binding is a failure the caller catches or an answer,
// and the caller stays intact.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "device/KronaltIF.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

TEST(FaultingLibrary, FaultsAreFailuresOfTheCallAndTheControlWordsStayTheCallers) {
  // The simulator reads its scenario at the first call of the process.
  char folder[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
  const std::string scenario =
      std::string(folder) + "horavia-faulting-" + std::to_string(GetCurrentProcessId()) + ".ini";
  FILE* file = std::fopen(scenario.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("fault = _GetTimeData@5, _GetSerialNumber\nfpu_mess = 1\nfpu_mess_load = 1\n", file);
  std::fclose(file);
  SetEnvironmentVariableA("TEMPIVA_SCENARIO", scenario.c_str());

  // The SSE control without its status flags, which the test's own
  // arithmetic sets (on x86-64, where double arithmetic is SSE).
  const auto sseControl = [] { return test::Mxcsr() & ~0x3Fu; };
  const uint16_t control = test::X87ControlWord();
  const uint32_t mxcsr = sseControl();
  ASSERT_TRUE(LoadDeviceLibrary());
  EXPECT_EQ(test::X87ControlWord(), control) << "after the library's start-up";
  EXPECT_EQ(sseControl(), mxcsr) << "after the library's start-up";
  const uintptr_t chain = test::HandlerChain();
  volatile uint32_t canary = 0xC0FFEE11;
  const uintptr_t before = test::StackPointer();

  // A library that changes the control words on every call.
  EXPECT_EQ(_NumInstalled(), 1);
  EXPECT_EQ(test::X87ControlWord(), control);
  EXPECT_EQ(sseControl(), mxcsr);
  volatile double big = 1e300;
  volatile double product = big * big;
  EXPECT_TRUE(std::isinf(product)) << "an overflow of the program's own stays quiet";

  ASSERT_TRUE(_Open());
  for (int i = 0; i < 4; ++i) {
    TimeData record{};
    ASSERT_TRUE(_GetTimeData(record)) << i;
    ASSERT_TRUE(TimeDataValid(record)) << i;
  }
  // From its fifth call on, _GetTimeData faults; the others answer.
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    TimeData record{};
    try {
      _GetTimeData(record);
    } catch (const ELibraryFault& fault) {
      ++failures;
      ASSERT_EQ(fault.Code(), 0xC0000005u);
      ASSERT_NE(std::string(fault.what()).find("access violation"), std::string::npos);
    }
    ASSERT_EQ(_GetStatus(), 1) << i;
    ASSERT_EQ(test::X87ControlWord(), control) << i;
    ASSERT_EQ(sseControl(), mxcsr) << i;
    ASSERT_EQ(test::HandlerChain(), chain) << i;
  }
  EXPECT_EQ(failures, 1000);
  EXPECT_THROW(_GetSerialNumber(), ELibraryFault) << "a fault from the first call on";
  EXPECT_EQ(_GetBatteryVoltage(), 3012);

  EXPECT_EQ(test::StackPointer(), before);
  EXPECT_EQ(canary, 0xC0FFEE11u);
  product = big * big;
  EXPECT_TRUE(std::isinf(product));
  SetEnvironmentVariableA("TEMPIVA_SCENARIO", nullptr);
  DeleteFileA(scenario.c_str());
}

}  // namespace
}  // namespace hv
