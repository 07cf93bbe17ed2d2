// Tests of the scenario parser: every knob, comments, and lines that must be ignored.
#include "simulator/Scenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace sim {
namespace {

struct KnobCase {
  const char* text;
  std::function<bool(const Scenario&)> holds;
};

TEST(ParseScenario, EveryKnob) {
  using Bytes8 = std::array<uint8_t, 8>;
  const KnobCase cases[] = {
      {"installed = 2", [](const Scenario& s) { return s.InstalledAt(0) == 2; }},
      {"installed = 0@0, 1@3000, 0@9000",
       [](const Scenario& s) {
         return s.InstalledAt(2999) == 0 && s.InstalledAt(3000) == 1 && s.InstalledAt(9000) == 0;
       }},
      {"installed = 1@500", [](const Scenario& s) { return s.InstalledAt(499) == 0; }},
      {"open_fails = 3", [](const Scenario& s) { return s.open_fails == 3; }},
      {"open_fails = Always", [](const Scenario& s) { return s.open_fails == -1; }},
      {"status = -1,0, -1",
       [](const Scenario& s) {
         return s.status.values == std::vector<int32_t>{-1, 0, -1} && !s.status.repeat;
       }},
      {"status_repeat = yes", [](const Scenario& s) { return s.status.repeat; }},
      {"source = crystal", [](const Scenario& s) { return s.source == TimeSource::kCrystal; }},
      {"offset_ms = -90000", [](const Scenario& s) { return s.offset_ms == -90000; }},
      {"drift_ppm = -25", [](const Scenario& s) { return s.drift_ppm == -25; }},
      {"offset_ms = 7\noffset_changes = -3@2000, 0x10@5000",
       [](const Scenario& s) {
         return s.OffsetAt(1999) == 7 && s.OffsetAt(2000) == -3 && s.OffsetAt(5000) == 16;
       }},
      {"time_data_from = 4000", [](const Scenario& s) { return s.time_data_from == 4000; }},
      {"summer = 1", [](const Scenario& s) { return s.summer == SummerMode::kSummer; }},
      {"summer = 0", [](const Scenario& s) { return s.summer == SummerMode::kNormal; }},
      {"reception = 1", [](const Scenario& s) { return s.reception == 1; }},
      {"antenna = spare", [](const Scenario& s) { return s.spare_antenna; }},
      {"quality = 0x20", [](const Scenario& s) { return s.quality.At(0) == 32; }},
      {"quality_repeat = 1", [](const Scenario& s) { return s.quality.repeat; }},
      {"battery = -5, 3500, 2794",
       [](const Scenario& s) {
         return s.battery.values == std::vector<int32_t>{-5, 3500, 2794};
       }},
      {"battery_repeat = true", [](const Scenario& s) { return s.battery.repeat; }},
      {"cfg = 0x0C", [](const Scenario& s) { return s.cfg == 0x0C; }},
      {"cfg = 255", [](const Scenario& s) { return s.cfg == 0xFF; }},
      {"device_info = 0A,01,07,02,01,FF",
       [](const Scenario& s) {
         return s.device_info == std::array<uint8_t, 6>{0x0A, 0x01, 0x07, 0x02, 0x01, 0xFF};
       }},
      {"device_info = 0A01070201FF", [](const Scenario& s) { return s.device_info[5] == 0xFF; }},
      {"serial = SN 42#7", [](const Scenario& s) { return s.serial == "SN 42#7"; }},
      {"time_data = 26 02 30 12 00 01 01 c7",
       [](const Scenario& s) {
         return s.time_data == Bytes8{0x26, 0x02, 0x30, 0x12, 0x00, 0x01, 0x01, 0xC7};
       }},
      {"skip_seconds = 0, 59",
       [](const Scenario& s) {
         return s.skip_seconds == std::vector<int>{0, 59};
       }},
      {"skip_at = 1500, 61000",
       [](const Scenario& s) {
         return s.skip_at == std::vector<int64_t>{1500, 61000};
       }},
      {"overwrite = 8", [](const Scenario& s) { return s.overwrite == 8; }},
      {"log = C:\\temp\\calls.log",
       [](const Scenario& s) { return s.log == "C:\\temp\\calls.log"; }},
      {"fault = _GetTimeData@5, _NumInstalled , _Open@0x2",
       [](const Scenario& s) {
         return s.faults.size() == 3 && s.faults[0].entry == "_GetTimeData" &&
                s.faults[0].from_call == 5 && s.faults[1].entry == "_NumInstalled" &&
                s.faults[1].from_call == 1 && s.faults[2].from_call == 2;
       }},
      {"fpu_mess = 1", [](const Scenario& s) { return s.fpu_mess; }},
      {"fpu_mess_load = on", [](const Scenario& s) { return s.fpu_mess_load && !s.fpu_mess; }},
      {"  BATTERY=2800  ; trailing comment",
       [](const Scenario& s) { return s.battery.At(0) == 2800; }},
  };
  for (const KnobCase& c : cases) {
    std::vector<std::string> warnings;
    EXPECT_TRUE(c.holds(ParseScenario(c.text, &warnings))) << c.text;
    EXPECT_TRUE(warnings.empty()) << c.text;
  }
}

TEST(ParseScenario, BadLinesAreIgnoredAndDefaultsKept) {
  const char* const bad[] = {
      "installed",                   // no '='
      "= 3",                         // no key
      "colour = blue",               // unknown key
      "installed = 1@3000, 0@1000",  // times going backwards
      "installed = one",
      "open_fails = -2",
      "status = 1,,2",
      "status = 99999999999",
      "source = gps",
      "summer = maybe",
      "antenna = left",
      "cfg = 256",
      "device_info = 01 02 03",
      "device_info = 01 02 03 04 05 1FF",
      "time_data = 26 02 30 12 00 01 01",
      "time_data = 26 02 30 12 00 01 01 XY",
      "skip_seconds = 60",
      "overwrite = 65",
      "battery_repeat = sometimes",
      "quality = 5 6",
      "fault = _GetTimeData@0",  // calls count from 1
      "fault = _gettimedata",    // exported names are exact
      "fault = _NoSuchEntry@3",
      "fault = _Open, ",
      "fpu_mess = 2",
  };
  for (const char* line : bad) {
    std::vector<std::string> warnings;
    const Scenario s = ParseScenario(std::string("quality = 7\n") + line + "\n", &warnings);
    EXPECT_EQ(warnings.size(), 1u) << line;
    EXPECT_EQ(s.quality.At(0), 7) << line << ": the good line still counts";
    const Scenario defaults;
    EXPECT_EQ(s.InstalledAt(5000), defaults.InstalledAt(5000)) << line;
    EXPECT_EQ(s.open_fails, 0) << line;
    EXPECT_EQ(s.status.values, defaults.status.values) << line;
    EXPECT_EQ(s.cfg, 0xFC) << line;
    EXPECT_EQ(s.device_info, defaults.device_info) << line;
    EXPECT_FALSE(s.time_data) << line;
    EXPECT_EQ(s.overwrite, 0) << line;
    EXPECT_TRUE(s.faults.empty()) << line;
    EXPECT_FALSE(s.fpu_mess) << line;
  }
}

TEST(ParseScenario, CommentsSectionsAndLineEnds) {
  std::vector<std::string> warnings;
  const Scenario s = ParseScenario(
      "# a comment\r\n; another\r\n[receiver]\r\n\r\ncfg = 0x0F # fitted nothing\r\nreception=2",
      &warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(s.cfg, 0x0F);
  EXPECT_EQ(s.reception, 2);
}

TEST(ParseScenario, WarningsNameTheLine) {
  std::vector<std::string> warnings;
  ParseScenario("cfg = 1\n\nbogus\n", &warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("line 3:", 0), 0u) << warnings[0];
}

TEST(LoadScenarioFile, ReadsFileOrReportsItMissing) {
  const std::string path = ::testing::TempDir() + "simulator_scenario_test.ini";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("installed = 4\n", f);
  std::fclose(f);
  Scenario s;
  EXPECT_TRUE(LoadScenarioFile(path, &s));
  EXPECT_EQ(s.InstalledAt(0), 4);
  std::remove(path.c_str());
  EXPECT_FALSE(LoadScenarioFile(path, &s));
  EXPECT_EQ(s.InstalledAt(0), 1) << "defaults after a failed load";
}

}  // namespace
}  // namespace sim
