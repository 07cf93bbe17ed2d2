// Binding the receiver library by its twenty names and calling it.
#include <cstring>

#include "device/KronaltIF.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {
namespace {

using Binding = CoreFixture;

// Notes every name looked up in a loaded library, in order.
class ResolutionWatch : public VirtualPlatform {
 public:
  std::vector<std::string> resolved;
  ProcAddress GetProcAddress(ModuleHandle module, const char* name) override {
    resolved.push_back(name);
    return VirtualPlatform::GetProcAddress(module, name);
  }
};

TEST_F(Binding, AllTwentyNamesBindInTheirOrderAndTheLibraryIsLoadedByBareName) {
  ResolutionWatch watch;
  InstallPlatform(&watch);
  receiver = std::make_unique<sim::Receiver>([&] { return watch.TrueUtcMilliseconds(); },
                                             sim::ParseScenario(""));
  sim::SetInProcessReceiver(receiver.get());
  std::vector<VirtualPlatform::Export> exports;
  for (const sim::InProcessExport& e : sim::InProcessExports()) exports.push_back({e.name, e.proc});
  watch.RegisterLibrary("Tempiva", exports);

  EXPECT_TRUE(LoadDeviceLibrary());
  EXPECT_EQ(watch.loadLibraryCalls, std::vector<std::string>{"Tempiva"});
  EXPECT_EQ(
      watch.resolved,
      (std::vector<std::string>{
          "_GetFileversion",  "_NumInstalled", "_GetInstalled",      "_Open",
          "_Close",           "_GetStatus",    "_GetDeviceInfo",     "_GetDCFStatus",
          "_GetManufacturer", "_GetProduct",   "_GetSerialNumber",   "_GetSN_EEPROM",
          "_SetSN_EEPROM",    "_TimeChanged",  "_GetTimeData",       "_GetDCFQuality",
          "_GetCfg",          "_SetCfg",       "_GetBatteryVoltage", "_MeasureBatteryVoltage"}));
  EXPECT_EQ(watch.procCalls, 0) << "binding calls nothing";
  EXPECT_EQ(_NumInstalled(), 1);
  InstallPlatform(&os);
}

TEST_F(Binding, NoLibraryGivesFalseAndResolvesNothing) {
  ResolutionWatch watch;
  InstallPlatform(&watch);
  EXPECT_FALSE(LoadDeviceLibrary());
  EXPECT_EQ(watch.loadLibraryCalls, std::vector<std::string>{"Tempiva"});
  EXPECT_TRUE(watch.resolved.empty());
  EXPECT_EQ(watch.procCalls, 0);
  InstallPlatform(&os);
}

TEST_F(Binding, NineteenOfTwentyGivesFalseWhateverNameIsMissing) {
  for (const sim::InProcessExport& e : sim::InProcessExports()) {
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    std::vector<VirtualPlatform::Export> exports;
    for (const sim::InProcessExport& x : sim::InProcessExportsWithout(e.name))
      exports.push_back({x.name, x.proc});
    ASSERT_EQ(exports.size(), 19u);
    fresh.RegisterLibrary("Tempiva", exports);
    EXPECT_FALSE(LoadDeviceLibrary()) << "missing " << e.name;
    EXPECT_EQ(fresh.loadLibraryCalls.size(), 1u);
  }
  InstallPlatform(&os);
}

// A binding that fails, without the library or with one entry point
// missing, leaves nothing bound from a binding before it: every call reaches
// no entry point.
TEST_F(Binding, AFailedBindingLeavesNothingBoundFromAnEarlierOne) {
  for (const char* missing : {"", "_GetCfg"}) {
    SCOPED_TRACE(missing);
    UseReceiver();
    ASSERT_TRUE(LoadDeviceLibrary());
    ASSERT_EQ(_NumInstalled(), 1);
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    if (*missing) {
      std::vector<VirtualPlatform::Export> exports;
      for (const sim::InProcessExport& e : sim::InProcessExportsWithout(missing))
        exports.push_back({e.name, e.proc});
      fresh.RegisterLibrary("Tempiva", exports);
    }
    int receiverCalls = 0;
    receiver->SetLogSink([&](const std::string&) { ++receiverCalls; });
    EXPECT_FALSE(LoadDeviceLibrary());
    EXPECT_THROW(_NumInstalled(), std::logic_error);
    TimeData record{};
    EXPECT_THROW(_GetTimeData(record), std::logic_error);
    EXPECT_EQ(receiverCalls, 0);
    InstallPlatform(&os);
  }
}

TEST_F(Binding, FlagsAreReadFromTheLowByteOnly) {
  // The receiver puts garbage into the upper bytes of every flag result.
  UseReceiver("open_fails = 1");
  ASSERT_TRUE(LoadDeviceLibrary());
  EXPECT_FALSE(_Open());
  EXPECT_TRUE(_Open());
  TimeData record{};
  EXPECT_TRUE(_GetTimeData(record));
  EXPECT_TRUE(TimeDataValid(record));
  EXPECT_FALSE(_TimeChanged());  // the second just read has not changed
  os.RunFor(1000);
  EXPECT_TRUE(_TimeChanged());
}

TEST_F(Binding, RecordsCarryTheReceiversValuesAndNoMore) {
  UseReceiver(
      "overwrite = 64\n"
      "device_info = 0A 01 07 31 01 00\n"
      "serial = SN-77\n"
      "cfg = 0x0C\n"
      "battery = 2795\n"
      "quality = 42\n"
      "reception = 2\n");
  ASSERT_TRUE(LoadDeviceLibrary());
  ASSERT_TRUE(_Open());
  TimeData record;
  record.fill(0x55);
  ASSERT_TRUE(_GetTimeData(record));
  // 12:00:00 CET on the virtual clock is 11:00 UTC, as the receiver sends it back.
  EXPECT_EQ(record[tdYear], 0x26);
  EXPECT_EQ(record[tdMonth], 0x12);
  EXPECT_EQ(record[tdDay], 0x08);
  EXPECT_EQ(record[tdHour], 0x12);
  EXPECT_EQ(record[tdDayOfWeek], 2);
  EXPECT_EQ(TimeDataState(record), 2);
  DeviceInfo info;
  _GetDeviceInfo(info);
  EXPECT_EQ(info, (DeviceInfo{0x0A, 0x01, 0x07, 0x31, 0x01, 0x00}));
  EXPECT_EQ(_GetSerialNumber(), "SN-77");
  EXPECT_EQ(_GetCfg(), 0x0C);
  EXPECT_EQ(_GetBatteryVoltage(), 2795);
  EXPECT_EQ(_GetDCFQuality(), 42);
  EXPECT_EQ(_GetDCFStatus(), 2);
  EXPECT_EQ(_GetStatus(), 1);
  _Close();
  EXPECT_EQ(_GetStatus(), -1);
}

}  // namespace
}  // namespace hv::test
