// Tests of the simulated receiver: transmitter time, session, scripted answers, flags and log.
#include "simulator/Receiver.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace sim {
namespace {

struct SummerCase {
  const char* what;
  int64_t utc_ms;
  bool summer;
};

TEST(SummerTimeRule, ChangesAtOneUtcOnLastSundays) {
  const SummerCase cases[] = {
      {"2026 spring, before", UtcMs(2026, 3, 29, 0, 59, 59, 999), false},
      {"2026 spring, at", UtcMs(2026, 3, 29, 1, 0, 0), true},
      {"2026 Sunday before last", UtcMs(2026, 3, 22, 12), false},
      {"2026 autumn, before", UtcMs(2026, 10, 25, 0, 59, 59, 999), true},
      {"2026 autumn, at", UtcMs(2026, 10, 25, 1, 0, 0), false},
      {"2024 spring on the 31st, before", UtcMs(2024, 3, 31, 0, 59, 59, 999), false},
      {"2024 spring on the 31st, at", UtcMs(2024, 3, 31, 1), true},
      {"2024 Sunday a week earlier", UtcMs(2024, 3, 24, 12), false},
      {"2024 autumn, before", UtcMs(2024, 10, 27, 0, 59, 59, 999), true},
      {"2024 autumn, at", UtcMs(2024, 10, 27, 1), false},
      {"2021 autumn on the 31st, before", UtcMs(2021, 10, 31, 0, 59, 59, 999), true},
      {"2021 autumn on the 31st, at", UtcMs(2021, 10, 31, 1), false},
      {"2021 Sunday a week earlier", UtcMs(2021, 10, 24, 12), true},
      {"midsummer", UtcMs(2025, 7, 1), true},
      {"new year", UtcMs(2025, 12, 31, 23, 59, 59), false},
  };
  for (const SummerCase& c : cases) {
    EXPECT_EQ(IsEuropeanSummerTime(c.utc_ms), c.summer) << c.what;
  }
}

TEST(EncodeTimeData, PacksTransmitterTimeAsBcd) {
  using Bytes = std::array<uint8_t, 8>;
  // 11:30:45 UTC on Thursday 15 January 2026 is 12:30:45 CET.
  EXPECT_EQ(EncodeTimeData(UtcMs(2026, 1, 15, 11, 30, 45), false, 0xC3),
            (Bytes{0x26, 0x01, 0x15, 0x12, 0x30, 0x45, 4, 0xC3}));
  // CEST crosses midnight into Sunday 5 July.
  EXPECT_EQ(EncodeTimeData(UtcMs(2026, 7, 4, 22, 59, 59, 999), true, 0xC7),
            (Bytes{0x26, 0x07, 0x05, 0x00, 0x59, 0x59, 7, 0xC7}));
  // CET crosses into the new year (Thursday 1 January 2026).
  EXPECT_EQ(EncodeTimeData(UtcMs(2025, 12, 31, 23, 30, 0), false, 0x80),
            (Bytes{0x26, 0x01, 0x01, 0x00, 0x30, 0x00, 4, 0x80}));
  // Leap day 2024, a Thursday.
  EXPECT_EQ(EncodeTimeData(UtcMs(2024, 2, 29, 8, 9, 10), false, 0),
            (Bytes{0x24, 0x02, 0x29, 0x09, 0x09, 0x10, 4, 0}));
}

constexpr size_t tdSecondIndex = 5;

// A receiver on a clock the test moves by hand.
class ReceiverTest : public ::testing::Test {
 protected:
  void Make(const std::string& scenario_text, int64_t start = UtcMs(2026, 1, 15, 11, 30, 45)) {
    now_ = start;
    receiver_ = std::make_unique<Receiver>([this] { return now_; }, ParseScenario(scenario_text));
    receiver_->SetLogSink([this](const std::string& line) { log_.push_back(line); });
  }
  int32_t Open() {
    uint8_t name[256] = {0};
    return receiver_->Open(name);
  }
  std::array<uint8_t, 8> Read() {
    std::array<uint8_t, 8> record{};
    EXPECT_EQ(receiver_->GetTimeData(record.data()) & 0xFF, 1);
    return record;
  }

  int64_t now_ = 0;
  std::unique_ptr<Receiver> receiver_;
  std::vector<std::string> log_;
};

TEST_F(ReceiverTest, DefaultsAreAHealthyReceiver) {
  Make("");
  EXPECT_EQ(receiver_->NumInstalled(), 1);
  EXPECT_EQ(receiver_->GetStatus(), -1) << "not open yet";
  EXPECT_EQ(Open() & 0xFF, 1);
  EXPECT_EQ(receiver_->GetStatus(), 1);
  EXPECT_EQ(Read(), (std::array<uint8_t, 8>{0x26, 0x01, 0x15, 0x12, 0x30, 0x45, 4, 0xC3}));
  EXPECT_EQ(receiver_->GetDCFStatus(), 3);
  EXPECT_EQ(receiver_->GetDCFQuality(), 60);
  EXPECT_EQ(receiver_->GetBatteryVoltage(), 3012);
  EXPECT_EQ(receiver_->GetCfg(), 0xFC);
  uint8_t info[6] = {0};
  receiver_->GetDeviceInfo(info);
  EXPECT_EQ(std::vector<uint8_t>(info, info + 6),
            (std::vector<uint8_t>{0x10, 0x02, 0x05, 0x31, 0x00, 0x00}));
  uint8_t serial[256] = {0};
  receiver_->GetSerialNumber(serial);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(serial + 1), serial[0]), "DCF-0001234");
}

TEST_F(ReceiverTest, SummerRecordCarriesFlagAndUtcPlusTwo) {
  Make("", UtcMs(2026, 7, 1, 10, 0, 0));
  Open();
  EXPECT_EQ(Read(), (std::array<uint8_t, 8>{0x26, 0x07, 0x01, 0x12, 0x00, 0x00, 3, 0xC7}));
}

TEST_F(ReceiverTest, FlagResultsHaveGarbageAboveTheLowByte) {
  Make("installed = 0@0, 1@1000");
  EXPECT_EQ(static_cast<uint32_t>(Open()), 0xA5A5A500u);
  EXPECT_EQ(static_cast<uint32_t>(receiver_->TimeChanged()), 0xA5A5A500u);
  uint8_t record[8];
  EXPECT_EQ(static_cast<uint32_t>(receiver_->GetTimeData(record)), 0xA5A5A500u);
  now_ += 1000;
  EXPECT_EQ(static_cast<uint32_t>(Open()), 0xA5A5A501u);
  EXPECT_EQ(static_cast<uint32_t>(receiver_->TimeChanged()), 0xA5A5A501u);
  EXPECT_EQ(static_cast<uint32_t>(receiver_->GetTimeData(record)), 0xA5A5A501u);
}

TEST_F(ReceiverTest, TimeChangedOncePerSecondOfTheReceiver) {
  Make("", UtcMs(2026, 1, 15, 11, 30, 45, 900));
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 0) << "closed";
  Open();
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 1) << "nothing read yet";
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 1) << "still unread";
  Read();
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 0);
  now_ += 99;  // xx:45.999
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 0);
  now_ += 1;  // xx:46.000
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 1);
  EXPECT_EQ(Read()[5], 0x46);
  now_ += 2500;  // two seconds skipped by the reader: still one change
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 1);
  EXPECT_EQ(Read()[5], 0x48);
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 0);
}

TEST_F(ReceiverTest, CloseMakesTheDeviceUnusable) {
  Make("");
  Open();
  receiver_->Close();
  EXPECT_EQ(receiver_->GetStatus(), -1);
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 0);
  std::array<uint8_t, 8> record;
  record.fill(0x11);
  EXPECT_EQ(receiver_->GetTimeData(record.data()) & 0xFF, 0);
  EXPECT_EQ(record[0], 0x11) << "nothing written while closed";
  EXPECT_EQ(receiver_->GetBatteryVoltage(), -1);
  EXPECT_EQ(receiver_->GetCfg(), 0xFF);
  EXPECT_EQ(Open() & 0xFF, 1) << "reopens";
  EXPECT_EQ(receiver_->GetStatus(), 1);
}

TEST_F(ReceiverTest, SequencesHoldTheLastAnswerOrRepeat) {
  Make("status = -1, 0, -1, 1\nbattery = -1, 2790, 3600\nbattery_repeat = 1\nquality = 5, 80");
  EXPECT_EQ(receiver_->GetStatus(), -1) << "closed calls use up nothing";
  Open();
  std::vector<int32_t> status, battery, quality;
  for (int i = 0; i < 6; ++i) {
    status.push_back(receiver_->GetStatus());
    battery.push_back(receiver_->GetBatteryVoltage());
    quality.push_back(receiver_->GetDCFQuality());
  }
  EXPECT_EQ(status, (std::vector<int32_t>{-1, 0, -1, 1, 1, 1}));
  EXPECT_EQ(battery, (std::vector<int32_t>{-1, 2790, 3600, -1, 2790, 3600}));
  EXPECT_EQ(quality, (std::vector<int32_t>{5, 80, 80, 80, 80, 80}));
}

TEST_F(ReceiverTest, StatusPositionSurvivesReopening) {
  Make("status = -1, 1");
  Open();
  EXPECT_EQ(receiver_->GetStatus(), -1);
  receiver_->Close();
  Open();
  EXPECT_EQ(receiver_->GetStatus(), 1);
}

TEST_F(ReceiverTest, InstalledOverTimeUnplugsAnOpenDevice) {
  Make("installed = 0@0, 1@3000, 0@9000, 1@12000");
  struct {
    int64_t at;
    int32_t installed;
  } const plan[] = {{0, 0}, {2999, 0}, {3000, 1}, {8999, 1}, {9000, 0}, {12000, 1}};
  const int64_t start = now_;
  for (const auto& p : plan) {
    now_ = start + p.at;
    EXPECT_EQ(receiver_->NumInstalled(), p.installed) << p.at;
  }
  now_ = start + 2000;
  EXPECT_EQ(Open() & 0xFF, 0) << "nothing plugged in";
  now_ = start + 3000;
  EXPECT_EQ(Open() & 0xFF, 1);
  now_ = start + 9000;
  EXPECT_EQ(receiver_->GetStatus(), -1) << "unplugged";
  now_ = start + 12000;
  EXPECT_EQ(receiver_->GetStatus(), -1) << "replugged but not reopened";
  EXPECT_EQ(Open() & 0xFF, 1);
  EXPECT_EQ(receiver_->GetStatus(), 1);
}

TEST_F(ReceiverTest, OpenFailsAsOften) {
  Make("open_fails = 2");
  EXPECT_EQ(Open() & 0xFF, 0);
  EXPECT_EQ(Open() & 0xFF, 0);
  EXPECT_EQ(Open() & 0xFF, 1);
  EXPECT_EQ(Open() & 0xFF, 1);
  Make("open_fails = always");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Open() & 0xFF, 0);
  EXPECT_EQ(receiver_->GetStatus(), -1);
}

struct FlagCase {
  const char* scenario;
  int64_t utc_ms;
  std::array<uint8_t, 8> record;
};

TEST_F(ReceiverTest, KnobsShapeTheRecord) {
  const int64_t winter = UtcMs(2026, 1, 15, 11, 30, 45);
  const FlagCase cases[] = {
      {"source = crystal\nreception = 0", winter, {0x26, 0x01, 0x15, 0x12, 0x30, 0x45, 4, 0x80}},
      {"reception = 1\nantenna = spare", winter, {0x26, 0x01, 0x15, 0x12, 0x30, 0x45, 4, 0xD1}},
      {"summer = 1", winter, {0x26, 0x01, 0x15, 0x13, 0x30, 0x45, 4, 0xC7}},
      {"summer = 0", UtcMs(2026, 7, 1, 10), {0x26, 0x07, 0x01, 0x11, 0x00, 0x00, 3, 0xC3}},
      {"offset_ms = -46000", winter, {0x26, 0x01, 0x15, 0x12, 0x29, 0x59, 4, 0xC3}},
      {"offset_ms = 5400000", UtcMs(2026, 3, 29, 0, 0), {0x26, 0x03, 0x29, 0x03, 0x30, 0, 7, 0xC7}},
      {"time_data = 26 02 30 12 00 01 01 C7",
       winter,
       {0x26, 0x02, 0x30, 0x12, 0x00, 0x01, 1, 0xC7}},
  };
  for (const FlagCase& c : cases) {
    Make(c.scenario, c.utc_ms);
    Open();
    EXPECT_EQ(Read(), c.record) << c.scenario;
  }
}

// The receiver keeps its own clock: an offset from the start, and a drift that grows with the
// time since its creation (1000 ppm: 3.6 s an hour), also for the moments it skips.
TEST_F(ReceiverTest, OffsetAndDriftMakeTheReceiversOwnClock) {
  Make("offset_ms = 500\ndrift_ppm = 1000\nskip_at = 3600000");
  Open();
  EXPECT_EQ(Read()[tdSecondIndex], 0x45);
  now_ += 3600000 - 1000;  // 13:30:44.5 CET, and 3.599 s gained
  EXPECT_EQ(Read()[tdSecondIndex], 0x48);
  now_ += 1000;  // the skipped moment: 13:30:49.1
  EXPECT_EQ(receiver_->TimeChanged() & 0xFF, 0);
  EXPECT_EQ(Read()[tdSecondIndex], 0x49);
  // A clock set anew: the offset changes at its moment, and the records follow it.
  Make("offset_ms = 60000\noffset_changes = 0@2000");
  Open();
  EXPECT_EQ(Read()[tdSecondIndex - 1], 0x31);  // 12:31:45 CET
  now_ += 2000;
  EXPECT_EQ(Read()[tdSecondIndex - 1], 0x30);  // 12:30:47
  EXPECT_EQ(Read()[tdSecondIndex], 0x47);
  // Given records replace the clock's only from their moment on.
  Make("time_data = 26 02 30 12 00 01 01 C7\ntime_data_from = 3000");
  Open();
  EXPECT_EQ(Read()[tdSecondIndex], 0x45);
  now_ += 3000;
  EXPECT_EQ(Read()[tdSecondIndex], 0x01);
  Make("drift_ppm = -1000");
  Open();
  now_ += 3600000;
  EXPECT_EQ(Read()[tdSecondIndex - 1], 0x30);  // 13:30:41.4
  EXPECT_EQ(Read()[tdSecondIndex], 0x41);
}

TEST_F(ReceiverTest, SkippedSecondsAreNeverReported) {
  Make("skip_seconds = 46\nskip_at = 3200", UtcMs(2026, 1, 15, 11, 30, 45));
  Open();
  Read();
  std::string reported;
  for (int i = 0; i < 5; ++i) {
    now_ += 1000;  // seconds 46 .. 50; 48 is the second 3.2 s after creation
    reported += receiver_->TimeChanged() & 0xFF ? '1' : '0';
    if (reported.back() == '1') Read();
  }
  EXPECT_EQ(reported, "01011");
}

TEST_F(ReceiverTest, OverwriteWritesPastDocumentedSizes) {
  for (int overwrite : {0, 3}) {
    Make("serial = AB\noverwrite = " + std::to_string(overwrite));
    Open();
    std::array<uint8_t, 16> buf;
    const auto written = [&] {
      size_t n = 0;
      while (n < buf.size() && buf[n] != 0x11) ++n;
      return n;
    };
    buf.fill(0x11);
    receiver_->GetTimeData(buf.data());
    EXPECT_EQ(written(), 8u + overwrite);
    EXPECT_EQ(buf[8], overwrite ? kOverwriteByte : 0x11);
    buf.fill(0x11);
    receiver_->GetDeviceInfo(buf.data());
    EXPECT_EQ(written(), 6u + overwrite);
    buf.fill(0x11);
    receiver_->GetSerialNumber(buf.data());
    EXPECT_EQ(written(), 3u + overwrite);
  }
}

TEST_F(ReceiverTest, NullBuffersAreRefused) {
  Make("");
  EXPECT_EQ(receiver_->Open(nullptr) & 0xFF, 0);
  Open();
  EXPECT_EQ(receiver_->GetTimeData(nullptr) & 0xFF, 0);
  EXPECT_EQ(receiver_->GetDeviceInfo(nullptr), 0);
  EXPECT_EQ(receiver_->GetSerialNumber(nullptr), 0);
}

TEST_F(ReceiverTest, LogsOneLinePerCall) {
  Make("", UtcMs(2026, 1, 15, 11, 30, 45));
  receiver_->NumInstalled();
  now_ += 1000;
  Open();
  now_ += 2;
  receiver_->GetStatus();
  receiver_->TimeChanged();
  uint8_t record[8];
  receiver_->GetTimeData(record);
  receiver_->Close();
  receiver_->Invoke("_Bogus", nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "0 _NumInstalled - -> 1",
                      "1000 _Open len=0 -> 1 raw=0xA5A5A501",
                      "1002 _GetStatus - -> 1",
                      "1002 _TimeChanged - -> 1 raw=0xA5A5A501",
                      "1002 _GetTimeData buf -> 1 raw=0xA5A5A501 data=26011512304604C3",
                      "1002 _Close - -> 1",
                      "1002 _Bogus ? -> 0",
                  }));
}

TEST_F(ReceiverTest, FaultsFromTheNthCallOfEachNamedEntry) {
  Make("fault = _GetTimeData@3, _Open");
  uint8_t buffer[256] = {0};
  EXPECT_TRUE(receiver_->Faults("_Open", buffer));
  EXPECT_TRUE(receiver_->Faults("_Open", nullptr));
  std::vector<bool> faults;
  for (int i = 0; i < 5; ++i) faults.push_back(receiver_->Faults("_GetTimeData", buffer));
  EXPECT_EQ(faults, (std::vector<bool>{false, false, true, true, true}));
  EXPECT_FALSE(receiver_->Faults("_NumInstalled", nullptr));
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "0 _Open len=0 -> fault",
                      "0 _Open null -> fault",
                      "0 _GetTimeData buf -> fault",
                      "0 _GetTimeData buf -> fault",
                      "0 _GetTimeData buf -> fault",
                  }));
}

TEST(FileLogSink, WritesFlushedLines) {
  const std::string path = ::testing::TempDir() + "simulator_log_test.log";
  {
    Scenario sc;
    sc.log = path;
    int64_t now = 0;
    Receiver receiver([&now] { return now; }, sc);
    receiver.NumInstalled();
    now = 5;
    receiver.GetStatus();
    std::FILE* f = std::fopen(path.c_str(), "rb");  // read while the receiver is alive
    ASSERT_NE(f, nullptr);
    char text[128] = {0};
    std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    EXPECT_STREQ(text, "0 _NumInstalled - -> 1\n5 _GetStatus - -> -1\n");
  }
  std::remove(path.c_str());
  EXPECT_FALSE(FileLogSink("/nonexistent-dir/x.log"));
}

}  // namespace
}  // namespace sim
