// Tests of the in-process exports: the twenty names, their forwarding, and the list lacking one.
#include "simulator/InProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sim {
namespace {

const std::vector<std::string> kBindingOrder = {
#define HV_ENTRY(name, takes_buffer) #name,
#include "device/EntryPoints.def"
};

TEST(InProcessExports, TwentyNamesInBindingOrder) {
  std::vector<std::string> names;
  for (const InProcessExport& e : InProcessExports()) names.push_back(e.name);
  EXPECT_EQ(names.size(), 20u);
  EXPECT_EQ(names, kBindingOrder);
}

TEST(InProcessExports, EachForwardsToTheEntryPointOfItsName) {
  int64_t now = UtcMs(2026, 1, 15, 11, 30, 45);
  Receiver receiver([&now] { return now; });
  std::vector<std::string> log;
  receiver.SetLogSink([&log](const std::string& line) { log.push_back(line); });
  SetInProcessReceiver(&receiver);
  uint8_t buffer[256] = {0};
  for (const InProcessExport& e : InProcessExports()) {
    log.clear();
    e.proc(buffer);
    ASSERT_EQ(log.size(), 1u) << e.name;
    EXPECT_EQ(log[0].substr(0, log[0].find(' ', 2)), "0 " + std::string(e.name)) << log[0];
    EXPECT_EQ(log[0].find(" ? "), std::string::npos) << log[0];
  }
  SetInProcessReceiver(nullptr);
}

TEST(InProcessExports, ResultsReachTheCaller) {
  int64_t now = UtcMs(2026, 1, 15, 11, 30, 45);
  Scenario scenario;
  scenario.installed = {{0, 2}};
  Receiver receiver([&now] { return now; }, scenario);
  SetInProcessReceiver(&receiver);
  const auto proc = [](const char* name) {
    for (const InProcessExport& e : InProcessExports()) {
      if (std::string(e.name) == name) return e.proc;
    }
    return InProcessProc{nullptr};
  };
  EXPECT_EQ(proc("_NumInstalled")(nullptr), 2);
  uint8_t name[256] = {0};
  EXPECT_EQ(static_cast<uint32_t>(proc("_Open")(name)), 0xA5A5A501u);
  uint8_t record[8] = {0};
  EXPECT_EQ(proc("_GetTimeData")(record) & 0xFF, 1);
  EXPECT_EQ(record[5], 0x45);
  SetInProcessReceiver(nullptr);
  EXPECT_EQ(proc("_NumInstalled")(nullptr), 0) << "no receiver attached";
}

TEST(InProcessExports, AFaultingEntryThrowsAndLeavesTheOthersWorking) {
  int64_t now = UtcMs(2026, 1, 15, 11, 30, 45);
  Receiver receiver([&now] { return now; }, ParseScenario("fault = _NumInstalled@2"));
  SetInProcessReceiver(&receiver);
  const InProcessProc numInstalled = InProcessExports()[1].proc;
  ASSERT_STREQ(InProcessExports()[1].name, "_NumInstalled");
  EXPECT_EQ(numInstalled(nullptr), 1);
  for (int i = 0; i < 3; ++i) EXPECT_THROW(numInstalled(nullptr), SimulatedFault);
  EXPECT_EQ(InProcessExports()[2].proc(nullptr), 1) << "_GetInstalled still answers";
  SetInProcessReceiver(nullptr);
}

TEST(InProcessExportsWithout, LacksExactlyTheNamedOne) {
  const std::vector<InProcessExport> exports = InProcessExportsWithout("_MeasureBatteryVoltage");
  ASSERT_EQ(exports.size(), 19u);
  for (const InProcessExport& e : exports) EXPECT_STRNE(e.name, "_MeasureBatteryVoltage");
  EXPECT_EQ(InProcessExportsWithout("_NoSuchEntry").size(), 20u);
}

}  // namespace
}  // namespace sim
