// The simulated DCF77 receiver: transmitter time from UTC, session state and scripted answers.
#include "simulator/Receiver.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <utility>

namespace sim {
namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kMsPerHour = 3600000;
constexpr int64_t kNoSecond = std::numeric_limits<int64_t>::min();

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int64_t year;
  int month, day;
};

Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2), month, day};
}

// 0 = Sunday .. 6 = Saturday; 1970-01-01 was a Thursday.
int WeekdayFromDays(int64_t days) {
  return static_cast<int>(days - 7 * FloorDiv(days + 4, 7) + 4);
}

// UTC ms of 01:00 UTC on the last Sunday of `month` (which has 31 days).
int64_t LastSundayOneAm(int64_t year, int month) {
  const int64_t last = DaysFromCivil(year, month, 31);
  return (last - WeekdayFromDays(last)) * kMsPerDay + kMsPerHour;
}

uint8_t Bcd(int64_t v) {
  return static_cast<uint8_t>((v / 10) << 4 | v % 10);
}

std::string Hex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

std::string StringArg(const uint8_t* lpstr) {
  return lpstr ? "len=" + std::to_string(lpstr[0]) : "null";
}

}  // namespace

int64_t UtcMs(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  return DaysFromCivil(year, month, day) * kMsPerDay + hour * kMsPerHour + minute * 60000 +
         second * 1000 + millisecond;
}

bool IsEuropeanSummerTime(int64_t utc_ms) {
  const int64_t year = CivilFromDays(FloorDiv(utc_ms, kMsPerDay)).year;
  return utc_ms >= LastSundayOneAm(year, 3) && utc_ms < LastSundayOneAm(year, 10);
}

std::array<uint8_t, 8> EncodeTimeData(int64_t utc_ms, bool summer, uint8_t flags) {
  const int64_t local = utc_ms + (summer ? 2 : 1) * kMsPerHour;
  const int64_t days = FloorDiv(local, kMsPerDay);
  const int64_t ms_of_day = local - days * kMsPerDay;
  const Civil date = CivilFromDays(days);
  const int weekday = WeekdayFromDays(days);
  return {Bcd(((date.year % 100) + 100) % 100),
          Bcd(date.month),
          Bcd(date.day),
          Bcd(ms_of_day / kMsPerHour),
          Bcd(ms_of_day / 60000 % 60),
          Bcd(ms_of_day / 1000 % 60),
          static_cast<uint8_t>(weekday == 0 ? 7 : weekday),
          flags};
}

LogSink FileLogSink(const std::string& path) {
  std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "wb"), [](std::FILE* f) {
    if (f) std::fclose(f);
  });
  if (!file) return {};
  return [file](const std::string& line) {
    std::fputs(line.c_str(), file.get());
    std::fputc('\n', file.get());
    std::fflush(file.get());
  };
}

Receiver::Receiver(UtcClock clock, Scenario scenario)
    : clock_(std::move(clock)), scenario_(std::move(scenario)), last_read_second_(kNoSecond) {
  created_ms_ = clock_();
  if (!scenario_.log.empty()) sink_ = FileLogSink(scenario_.log);
}

void Receiver::Note(std::string_view text) {
  if (sink_) sink_("# " + std::string(text));
}

bool Receiver::CheckOpen() {
  if (Installed() <= 0) open_ = false;
  return open_;
}

bool Receiver::Skipped(int64_t second) const {
  const int64_t second_of_minute = second - 60 * FloorDiv(second, 60);
  for (int s : scenario_.skip_seconds) {
    if (s == second_of_minute) return true;
  }
  for (int64_t at : scenario_.skip_at) {
    if (FloorDiv(ReceiverUtcAt(at), 1000) == second) return true;
  }
  return false;
}

int64_t Receiver::ReceiverUtcAt(int64_t elapsed_ms) const {
  return created_ms_ + elapsed_ms + scenario_.OffsetAt(elapsed_ms) +
         FloorDiv(elapsed_ms * scenario_.drift_ppm, 1000000);
}

std::array<uint8_t, 8> Receiver::CurrentTimeData() const {
  if (scenario_.time_data && ElapsedMs() >= scenario_.time_data_from) return *scenario_.time_data;
  const int64_t now = ReceiverUtc();
  const bool summer = scenario_.summer == SummerMode::kAuto
                          ? IsEuropeanSummerTime(now)
                          : scenario_.summer == SummerMode::kSummer;
  const uint8_t flags = static_cast<uint8_t>(
      0x80 | (scenario_.source == TimeSource::kDcf ? 0x40 : 0) |
      (scenario_.spare_antenna ? 0x10 : 0) | (summer ? 0x04 : 0) | (scenario_.reception & 3));
  return EncodeTimeData(now, summer, flags);
}

void Receiver::Fill(uint8_t* buf, const uint8_t* bytes, size_t count) {
  std::copy(bytes, bytes + count, buf);
  std::fill(buf + count, buf + count + scenario_.overwrite, kOverwriteByte);
  written_ = Hex(bytes, count);
}

int32_t Receiver::FillString(uint8_t* buf, std::string_view text) {
  uint8_t bytes[256];
  const size_t n = std::min<size_t>(text.size(), 255);
  bytes[0] = static_cast<uint8_t>(n);
  std::copy(text.begin(), text.begin() + n, bytes + 1);
  Fill(buf, bytes, n + 1);
  return 1;
}

int32_t Receiver::Result(const char* entry, std::string_view args, int32_t result) {
  if (sink_) {
    std::string line = std::to_string(ElapsedMs()) + " " + entry + " " + std::string(args) +
                       " -> " + std::to_string(result);
    if (!written_.empty()) line += " data=" + written_;
    sink_(line);
  }
  written_.clear();
  return result;
}

int32_t Receiver::Flag(const char* entry, std::string_view args, bool flag) {
  const uint32_t raw = kFlagGarbage | (flag ? 1u : 0u);
  if (sink_) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(raw));
    std::string line = std::to_string(ElapsedMs()) + " " + entry + " " + std::string(args) +
                       " -> " + (flag ? "1" : "0") + " raw=0x" + hex;
    if (!written_.empty()) line += " data=" + written_;
    sink_(line);
  }
  written_.clear();
  return static_cast<int32_t>(raw);
}

int32_t Receiver::NumInstalled() {
  return Result("_NumInstalled", "-", Installed());
}

int32_t Receiver::Open(uint8_t* lpstr256) {
  bool ok = false;
  if (lpstr256 && Installed() > 0) {
    const int64_t attempt = open_attempts_++;
    ok = scenario_.open_fails >= 0 && attempt >= scenario_.open_fails;
  }
  open_ = ok;
  if (ok) last_read_second_ = kNoSecond;
  return Flag("_Open", StringArg(lpstr256), ok);
}

int32_t Receiver::Close() {
  open_ = false;
  return Result("_Close", "-", 1);
}

int32_t Receiver::GetStatus() {
  const int32_t status = CheckOpen() ? scenario_.status.At(status_calls_++) : -1;
  return Result("_GetStatus", "-", status);
}

int32_t Receiver::TimeChanged() {
  bool changed = false;
  if (CheckOpen()) {
    const int64_t second = FloorDiv(ReceiverUtc(), 1000);
    changed = second != last_read_second_ && !Skipped(second);
  }
  return Flag("_TimeChanged", "-", changed);
}

int32_t Receiver::GetTimeData(uint8_t* buf8) {
  const bool ok = buf8 && CheckOpen();
  if (ok) {
    const std::array<uint8_t, 8> record = CurrentTimeData();
    Fill(buf8, record.data(), record.size());
    last_read_second_ = FloorDiv(ReceiverUtc(), 1000);
  }
  return Flag("_GetTimeData", buf8 ? "buf" : "null", ok);
}

int32_t Receiver::GetDCFQuality() {
  const int32_t quality = CheckOpen() ? scenario_.quality.At(quality_calls_++) : 0;
  return Result("_GetDCFQuality", "-", quality);
}

int32_t Receiver::GetDCFStatus() {
  return Result("_GetDCFStatus", "-", CheckOpen() ? scenario_.reception : 0);
}

int32_t Receiver::GetCfg() {
  return Result("_GetCfg", "-", CheckOpen() ? scenario_.cfg : 0xFF);
}

int32_t Receiver::GetBatteryVoltage() {
  const int32_t mv = CheckOpen() ? scenario_.battery.At(battery_calls_++) : -1;
  return Result("_GetBatteryVoltage", "-", mv);
}

int32_t Receiver::GetDeviceInfo(uint8_t* buf6) {
  const bool ok = buf6 && CheckOpen();
  if (ok) Fill(buf6, scenario_.device_info.data(), scenario_.device_info.size());
  return Result("_GetDeviceInfo", buf6 ? "buf" : "null", ok ? 1 : 0);
}

int32_t Receiver::GetSerialNumber(uint8_t* lpstr256) {
  const bool ok = lpstr256 && CheckOpen();
  if (ok) FillString(lpstr256, scenario_.serial);
  return Result("_GetSerialNumber", StringArg(lpstr256), ok ? 1 : 0);
}

int32_t Receiver::GetFileversion() {
  return Result("_GetFileversion", "-", 0x0103);
}
int32_t Receiver::GetInstalled() {
  return Result("_GetInstalled", "-", Installed());
}

int32_t Receiver::GetManufacturer(uint8_t* lpstr256) {
  const int32_t r = lpstr256 ? FillString(lpstr256, "Receiver simulator") : 0;
  return Result("_GetManufacturer", StringArg(lpstr256), r);
}

int32_t Receiver::GetProduct(uint8_t* lpstr256) {
  const int32_t r = lpstr256 ? FillString(lpstr256, "Simulated USB DCF77 receiver") : 0;
  return Result("_GetProduct", StringArg(lpstr256), r);
}

int32_t Receiver::GetSN_EEPROM() {
  return Result("_GetSN_EEPROM", "-", 0);
}
int32_t Receiver::SetSN_EEPROM() {
  return Result("_SetSN_EEPROM", "-", 0);
}
int32_t Receiver::SetCfg() {
  return Result("_SetCfg", "-", 0);
}
int32_t Receiver::MeasureBatteryVoltage() {
  return Result("_MeasureBatteryVoltage", "-", 0);
}

bool Receiver::Faults(std::string_view entry, void* arg) {
  const auto plan = std::find_if(scenario_.faults.begin(), scenario_.faults.end(),
                                 [&](const FaultPlan& p) { return p.entry == entry; });
  if (plan == scenario_.faults.end()) return false;
  if (++fault_calls_[plan->entry] < plan->from_call) return false;
  if (sink_) {
    const auto* buffer = static_cast<const uint8_t*>(arg);
    std::string args = "-";
    if (entry == "_Open" || entry == "_GetSerialNumber" || entry == "_GetManufacturer" ||
        entry == "_GetProduct") {
      args = StringArg(buffer);
    } else if (entry == "_GetTimeData" || entry == "_GetDeviceInfo") {
      args = buffer ? "buf" : "null";
    }
    sink_(std::to_string(ElapsedMs()) + " " + std::string(entry) + " " + args + " -> fault");
  }
  return true;
}

int32_t Receiver::Invoke(std::string_view entry, void* arg) {
  using Call = int32_t (*)(Receiver&, uint8_t*);
  static const std::pair<std::string_view, Call> kCalls[] = {
      {"_GetFileversion", [](Receiver& r, uint8_t*) { return r.GetFileversion(); }},
      {"_NumInstalled", [](Receiver& r, uint8_t*) { return r.NumInstalled(); }},
      {"_GetInstalled", [](Receiver& r, uint8_t*) { return r.GetInstalled(); }},
      {"_Open", [](Receiver& r, uint8_t* b) { return r.Open(b); }},
      {"_Close", [](Receiver& r, uint8_t*) { return r.Close(); }},
      {"_GetStatus", [](Receiver& r, uint8_t*) { return r.GetStatus(); }},
      {"_GetDeviceInfo", [](Receiver& r, uint8_t* b) { return r.GetDeviceInfo(b); }},
      {"_GetDCFStatus", [](Receiver& r, uint8_t*) { return r.GetDCFStatus(); }},
      {"_GetManufacturer", [](Receiver& r, uint8_t* b) { return r.GetManufacturer(b); }},
      {"_GetProduct", [](Receiver& r, uint8_t* b) { return r.GetProduct(b); }},
      {"_GetSerialNumber", [](Receiver& r, uint8_t* b) { return r.GetSerialNumber(b); }},
      {"_GetSN_EEPROM", [](Receiver& r, uint8_t*) { return r.GetSN_EEPROM(); }},
      {"_SetSN_EEPROM", [](Receiver& r, uint8_t*) { return r.SetSN_EEPROM(); }},
      {"_TimeChanged", [](Receiver& r, uint8_t*) { return r.TimeChanged(); }},
      {"_GetTimeData", [](Receiver& r, uint8_t* b) { return r.GetTimeData(b); }},
      {"_GetDCFQuality", [](Receiver& r, uint8_t*) { return r.GetDCFQuality(); }},
      {"_GetCfg", [](Receiver& r, uint8_t*) { return r.GetCfg(); }},
      {"_SetCfg", [](Receiver& r, uint8_t*) { return r.SetCfg(); }},
      {"_GetBatteryVoltage", [](Receiver& r, uint8_t*) { return r.GetBatteryVoltage(); }},
      {"_MeasureBatteryVoltage", [](Receiver& r, uint8_t*) { return r.MeasureBatteryVoltage(); }},
  };
  for (const auto& [name, call] : kCalls) {
    if (name == entry) return call(*this, static_cast<uint8_t*>(arg));
  }
  return Result(std::string(entry).c_str(), "?", 0);
}

}  // namespace sim
