// The program's binding of one simulator build, lying beside this
// executable, and every entry point the program calls, many times in a row.
#include <gtest/gtest.h>

#include "device/KronaltIF.h"
#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

#if HV_EXPECT_COMPLETE_LIBRARY

TEST(Binding, EveryEntryPointAnswersWithTheSimulatorsValues) {
  SetEnvironmentVariableA("TEMPIVA_SCENARIO", nullptr);  // the defaults
  ASSERT_TRUE(LoadDeviceLibrary());
  volatile uint32_t canary = 0xC0FFEE11;
  const uintptr_t before = test::StackPointer();

  EXPECT_EQ(_NumInstalled(), 1);
  ASSERT_TRUE(_Open());
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(_NumInstalled(), 1);
    ASSERT_EQ(_GetStatus(), 1);
    _TimeChanged();
    TimeData record{};
    ASSERT_TRUE(_GetTimeData(record));
    ASSERT_TRUE(TimeDataValid(record));
    ASSERT_TRUE(TimeDataIsDCF(record));
    ASSERT_EQ(TimeDataState(record), 3);
    ASSERT_EQ(_GetDCFQuality(), 60);
    ASSERT_EQ(_GetDCFStatus(), 3);
    ASSERT_EQ(_GetCfg(), 0xFC);
    ASSERT_EQ(_GetBatteryVoltage(), 3012);
    DeviceInfo info{};
    _GetDeviceInfo(info);
    ASSERT_EQ(info, (DeviceInfo{0x10, 0x02, 0x05, 0x31, 0x00, 0x00}));
    ASSERT_EQ(_GetSerialNumber(), "DCF-0001234");
  }
  _Close();
  EXPECT_EQ(_GetStatus(), -1) << "closed";
  EXPECT_TRUE(_Open()) << "and opens again";
  EXPECT_EQ(_GetStatus(), 1);
  _Close();

  EXPECT_EQ(test::StackPointer(), before);
  EXPECT_EQ(canary, 0xC0FFEE11u);
}

#else

TEST(Binding, ALibraryWithoutOneEntryPointIsNotBound) {
  EXPECT_FALSE(LoadDeviceLibrary());
}

#endif

}  // namespace
}  // namespace hv
