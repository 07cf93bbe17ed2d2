// The probe's own pieces that the end-to-end verdicts rest on: environment and call-log parsing.
#include <gtest/gtest.h>

#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

// The block's entries as "NAME=value" strings.
std::vector<std::string> Entries(const std::string& block) {
  std::vector<std::string> entries;
  for (size_t at = 0; at < block.size() && block[at]; at = block.find('\0', at) + 1) {
    entries.emplace_back(block.c_str() + at);
  }
  return entries;
}

size_t Count(const std::vector<std::string>& entries, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& e : entries) n += e.rfind(prefix, 0) == 0;
  return n;
}

TEST(ProbeEnvironment, ChangesReplaceByNameWhateverTheCaseAndRemove) {
  SetEnvironmentVariableA("Hv_Probe_Keep", "kept");
  SetEnvironmentVariableA("Hv_Probe_Replace", "old");
  SetEnvironmentVariableA("Hv_Probe_Remove", "gone");

  const std::string block = probe::MergedEnvironmentBlock(
      {{"HV_PROBE_REPLACE", "new"}, {"hv_probe_remove", std::nullopt}, {"HV_PROBE_ADD", "x"}});
  const std::vector<std::string> entries = Entries(block);

  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(block.substr(block.size() - 2), std::string(2, '\0'));
  EXPECT_EQ(Count(entries, "Hv_Probe_Keep=kept"), 1u);
  EXPECT_EQ(Count(entries, "HV_PROBE_REPLACE=new"), 1u);
  EXPECT_EQ(Count(entries, "Hv_Probe_Replace="), 0u);
  EXPECT_EQ(Count(entries, "Hv_Probe_Remove="), 0u);
  EXPECT_EQ(Count(entries, "hv_probe_remove="), 0u);
  EXPECT_EQ(Count(entries, "HV_PROBE_ADD=x"), 1u);
}

TEST(ProbeCallLog, ReadsCallsAndSkipsRemarksAndOtherLines) {
  const std::vector<Call> calls = ParseCallLog(
      "# scenario /tmp/s.ini\n"
      "0 _NumInstalled - -> 2\r\n"
      "1000 _Open len=0 -> 1 raw=0xA5A5A501\n"
      "garbage line\n"
      "1004 _GetBatteryVoltage - -> -1\n");

  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].entry, "_NumInstalled");
  EXPECT_EQ(calls[0].args, "-");
  EXPECT_EQ(calls[0].result, 2);
  EXPECT_EQ(calls[1].ms, 1000);
  EXPECT_EQ(calls[1].args, "len=0");
  EXPECT_EQ(calls[1].result, 1);
  EXPECT_EQ(calls[2].result, -1);
}

TEST(ProbePaths, UnixPathsGoThroughDriveZ) {
  EXPECT_EQ(probe::WindowsPath("/work/build/bin/Horavia.exe"), "Z:\\work\\build\\bin\\Horavia.exe");
  EXPECT_EQ(probe::WindowsPath("C:/temp/x"), "C:\\temp\\x");
}

}  // namespace
}  // namespace e2e
