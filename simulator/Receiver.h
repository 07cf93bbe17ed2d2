// Portable model of the USB DCF77 receiver behind the device library, one method per entry point.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "simulator/Scenario.h"

namespace sim {

// Current UTC time in milliseconds since 1970-01-01 00:00:00.
using UtcClock = std::function<int64_t()>;
// Receives one call-log line, without line end.
using LogSink = std::function<void(const std::string& line)>;

// Upper 24 bits of every one-byte flag result; only the low byte carries the flag.
inline constexpr uint32_t kFlagGarbage = 0xA5A5A500u;
// Value of the bytes written past a buffer's documented size (Scenario::overwrite).
inline constexpr uint8_t kOverwriteByte = 0xEE;

// UTC milliseconds of a civil UTC date and time (proleptic Gregorian; no range checks).
int64_t UtcMs(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
              int millisecond = 0);

// True when the DCF77 transmitter broadcasts CEST at this UTC instant: from 01:00 UTC on the
// last Sunday of March (inclusive) to 01:00 UTC on the last Sunday of October (exclusive).
bool IsEuropeanSummerTime(int64_t utc_ms);

// TimeData bytes for a UTC instant shown as CET (UTC+1) or, when `summer`, CEST (UTC+2): packed
// BCD year of the century, month, day, hour, minute, second; day of week 1 = Monday .. 7 =
// Sunday; byte 7 = `flags` unchanged.
std::array<uint8_t, 8> EncodeTimeData(int64_t utc_ms, bool summer, uint8_t flags);

// Call-log sink appending to the file at `path`, truncated on opening and flushed after every
// line. Returns an empty sink when the file cannot be opened.
LogSink FileLogSink(const std::string& path);

// One simulated receiver. Each entry-point method returns the raw 32-bit result the library
// returns and, when a sink is set, logs one line "<ms> <entry> <args> -> <result>". Methods that
// need an open device answer as a closed one would (flag 0, status -1, no buffer written) when
// it is not open or no longer installed. Buffers may be nullptr (nothing written, result 0).
// Not thread-safe.
class Receiver {
 public:
  // `clock` gives the UTC time; the scenario's times count from the moment of construction.
  // A non-empty Scenario::log opens that file as the log sink.
  explicit Receiver(UtcClock clock, Scenario scenario = {});

  // Replaces the log sink; an empty sink turns logging off.
  void SetLogSink(LogSink sink) { sink_ = std::move(sink); }
  // Writes "# <text>" to the log (remarks such as scenario warnings).
  void Note(std::string_view text);

  const Scenario& scenario() const { return scenario_; }
  // The scenario to change while the receiver runs (tests script faults this way).
  Scenario& mutable_scenario() { return scenario_; }
  // Milliseconds since construction, as printed in the log.
  int64_t ElapsedMs() const { return clock_() - created_ms_; }

  // Receivers installed now (Scenario::installed).
  int32_t NumInstalled();
  // Flag: device opened. `lpstr256` is a length-prefixed device name, logged but not used;
  // nullptr fails. Counts towards Scenario::open_fails only while a receiver is installed.
  int32_t Open(uint8_t* lpstr256);
  // Closes the device; answers 1.
  int32_t Close();
  // 1 ready (or the scenario's status sequence) when open, -1 when not open.
  int32_t GetStatus();
  // Flag: the receiver's clock is in a second other than the one last read by GetTimeData.
  int32_t TimeChanged();
  // Writes the 8-byte TimeData record of the receiver's clock; flag: buffer filled.
  int32_t GetTimeData(uint8_t* buf8);
  // Signal quality, larger is better; 0 when not open.
  int32_t GetDCFQuality();
  // Reception state 0..3; 0 when not open.
  int32_t GetDCFStatus();
  // Configuration byte; 0xFF (nothing fitted) when not open.
  int32_t GetCfg();
  // Clock-battery voltage in mV, negative = no reading; -1 when not open.
  int32_t GetBatteryVoltage();
  // Writes the 6 DeviceInfo bytes; 1 when written, 0 when not open.
  int32_t GetDeviceInfo(uint8_t* buf6);
  // Writes the serial number as a length-prefixed string; 1 when written, 0 when not open.
  int32_t GetSerialNumber(uint8_t* lpstr256);

  // Entry points the program binds but never calls; harmless answers.
  int32_t GetFileversion();                    // 0x0103
  int32_t GetInstalled();                      // same as NumInstalled
  int32_t GetManufacturer(uint8_t* lpstr256);  // length-prefixed text; 1
  int32_t GetProduct(uint8_t* lpstr256);       // length-prefixed text; 1
  int32_t GetSN_EEPROM();                      // 0
  int32_t SetSN_EEPROM();                      // 0, changes nothing
  int32_t SetCfg();                            // 0, changes nothing
  int32_t MeasureBatteryVoltage();             // 0

  // Counts a call of the entry point `entry` with argument `arg` and answers whether it is to
  // raise an access violation instead of answering (Scenario::faults). Such a call is logged
  // as "<ms> <entry> <args> -> fault" and does nothing else; the caller raises the fault.
  bool Faults(std::string_view entry, void* arg);

  // Calls the entry point with this exported name ("_GetTimeData"); `arg` is the buffer, or
  // nullptr for entry points without one. An unknown name is logged and answers 0.
  int32_t Invoke(std::string_view entry, void* arg);

 private:
  int32_t Installed() const { return scenario_.InstalledAt(ElapsedMs()); }
  bool CheckOpen();  // also drops the session when the receiver was unplugged
  int64_t ReceiverUtc() const { return ReceiverUtcAt(ElapsedMs()); }
  // The receiver's clock `elapsed_ms` after construction: offset and drift applied.
  int64_t ReceiverUtcAt(int64_t elapsed_ms) const;
  bool Skipped(int64_t second) const;
  std::array<uint8_t, 8> CurrentTimeData() const;
  void Fill(uint8_t* buf, const uint8_t* bytes, size_t count);
  int32_t FillString(uint8_t* buf, std::string_view text);
  int32_t Result(const char* entry, std::string_view args, int32_t result);
  int32_t Flag(const char* entry, std::string_view args, bool flag);

  UtcClock clock_;
  Scenario scenario_;
  int64_t created_ms_;
  LogSink sink_;
  bool open_ = false;
  int64_t open_attempts_ = 0;
  size_t status_calls_ = 0;
  size_t quality_calls_ = 0;
  size_t battery_calls_ = 0;
  int64_t last_read_second_;  // receiver second of the last GetTimeData, or none
  std::string written_;       // hex of the bytes written by the current call, for the log
  std::map<std::string, int64_t, std::less<>> fault_calls_;  // calls of the entry points in
                                                             // Scenario::faults
};

}  // namespace sim
