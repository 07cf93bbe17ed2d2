// Scenario of the receiver simulator: the knobs that shape what the simulated receiver answers.
//
// A scenario is a small INI-like text, one `key = value` per line. Blank lines, lines starting
// with `#` or `;`, and `[section]` headers are ignored; so is the rest of a line after ` #` or
// ` ;`. Keys are case-insensitive. A line that is malformed, has an unknown key or a value that
// does not parse is skipped (a warning is collected) and the knob keeps its default. Numbers are
// decimal or hexadecimal with `0x`; times are milliseconds since the receiver was created (in
// the DLL: since its first call). Sequences are comma-separated.
//
//   installed = 1                 receivers installed (`_NumInstalled`); or a plan over time,
//                                 `value@ms` pairs: `0@0, 1@3000, 0@9000`. Before the first pair
//                                 the count is 0. While the count is 0 the device is gone: an
//                                 open device counts as closed and `_Open` fails. Default 1.
//   open_fails = 0                number of `_Open` calls (made while a receiver is installed)
//                                 that fail before one succeeds, or `always`. Default 0.
//   status = 1                    answers of `_GetStatus` while open, one per call: `-1,0,-1,1`.
//                                 After the last one it keeps answering the last value. The
//                                 position is not reset by `_Open`/`_Close`. Default 1.
//   status_repeat = 0             1: cycle through `status` instead of holding its last value.
//   source = dcf                  `dcf` (DCF77 time, flag bit 6) or `crystal` (free-running
//                                 quartz time, bit 6 clear).
//   offset_ms = 0                 added to the UTC clock to give the receiver's clock (signed).
//   offset_changes = 0@7000       later offsets, `value@ms` pairs: from `ms` on the receiver's
//                                 clock runs `value` ms from UTC, as when a receiver sets its
//                                 clock anew. Before the first pair: `offset_ms`.
//   drift_ppm = 0                 the receiver's clock gains this many microseconds a second
//                                 on the UTC clock, counted from its creation (signed: a
//                                 crystal that runs slow loses).
//   summer = auto                 `auto`: CEST from 01:00 UTC on the last Sunday of March to 01:00
//                                 UTC on the last Sunday of October, else CET. `0` or `1` force
//                                 normal or summer time: both the flag bit and the zone (UTC+1 or
//                                 UTC+2) of the time in the record.
//   reception = 3                 reception state: `_GetDCFStatus` answers it, the TimeData flag
//                                 byte carries its low two bits. Default 3 (time available).
//   antenna = main                `main` or `spare` (flag bit 4).
//   quality = 60                  answers of `_GetDCFQuality`, a sequence like `status`.
//   quality_repeat = 0            1: cycle through `quality`.
//   battery = 3012                answers of `_GetBatteryVoltage` in millivolts, a sequence like
//                                 `status`; negative means no reading: `-1,-1,2790,3600`.
//   battery_repeat = 0            1: cycle through `battery`.
//   cfg = 0xFC                    configuration byte of `_GetCfg` (active-low bits: 0 RTC fitted,
//                                 1 battery measurable; high nibble = module index XOR 15).
//   device_info = 10 02 05 31 00 00   the six DeviceInfo bytes, hex (spaces or commas between,
//                                 or 12 hex digits in one run).
//   serial = DCF-0001234          serial number of `_GetSerialNumber` (at most 255 characters).
//   time_data = 26 02 30 12 00 05 01 C7   eight hex bytes returned by `_GetTimeData` instead of
//                                 the clock's time (for impossible dates); `_TimeChanged` still
//                                 reports each new second of the clock.
//   time_data_from = 0            moment (ms since creation) from which `time_data` replaces
//                                 the clock's records; before it the clock is read. Default 0.
//   skip_seconds = 1, 30          seconds (0-59) of the minute of the receiver's clock for
//                                 which `_TimeChanged` never reports a change.
//   skip_at = 5000, 12000         moments (ms since creation) whose receiver second
//                                 `_TimeChanged` never reports.
//   overwrite = 0                 extra bytes (0..64) written past the documented size of every
//                                 buffer the receiver fills, to prove the caller's slack.
//   log = /tmp/calls.log          call log file, one line per call (truncated when opened).
//   fault = _GetTimeData@5        entry points that raise an access violation instead of
//                                 answering, each from its N-th call on (1-based, counting its
//                                 own calls; `@N` left out: from the first). Several are
//                                 separated by commas: `_GetTimeData@5, _NumInstalled`. Only
//                                 the DLL raises a real access violation; in-process the call
//                                 throws `sim::SimulatedFault`.
//   fpu_mess = 0                  1: every call leaves the floating-point control changed, as
//                                 libraries built with other compilers do: x87 invalid-
//                                 operation, zero-divide and overflow exceptions unmasked and
//                                 53-bit precision; the same three unmasked in SSE. DLL only.
//   fpu_mess_load = 0             1: the DLL's start-up (DLL_PROCESS_ATTACH) leaves the
//                                 floating-point control changed the same way. DLL only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Answers given one per call. At(n) is the answer to call number n (0-based): the last value is
// held after the list ends, or the list starts over when `repeat` is set. Empty gives 0.
struct Sequence {
  std::vector<int32_t> values;
  bool repeat = false;
  int32_t At(size_t call) const;
};

// A value that holds from `at_ms` (ms since creation) until the next step.
struct Step {
  int64_t at_ms;
  int32_t value;
};

// An offset of the receiver's clock that holds from `at_ms` (ms since creation) on.
struct OffsetStep {
  int64_t at_ms;
  int64_t offset_ms;
};

// An entry point that faults from its `from_call`-th call on (1-based).
struct FaultPlan {
  std::string entry;  // exported name, "_GetTimeData"
  int64_t from_call;
};

enum class TimeSource { kDcf, kCrystal };
enum class SummerMode { kAuto, kNormal, kSummer };

struct Scenario {
  std::vector<Step> installed{{0, 1}};  // ascending by at_ms
  int32_t open_fails = 0;               // -1: every `_Open` fails
  Sequence status{{1}};
  TimeSource source = TimeSource::kDcf;
  int64_t offset_ms = 0;
  std::vector<OffsetStep> offset_changes;  // ascending by at_ms
  int64_t drift_ppm = 0;
  SummerMode summer = SummerMode::kAuto;
  int32_t reception = 3;
  bool spare_antenna = false;
  Sequence quality{{60}};
  Sequence battery{{3012}};
  uint8_t cfg = 0xFC;
  std::array<uint8_t, 6> device_info{0x10, 0x02, 0x05, 0x31, 0x00, 0x00};
  std::string serial = "DCF-0001234";
  std::optional<std::array<uint8_t, 8>> time_data;
  int64_t time_data_from = 0;
  std::vector<int> skip_seconds;
  std::vector<int64_t> skip_at;
  int overwrite = 0;
  std::string log;
  std::vector<FaultPlan> faults;
  bool fpu_mess = false;
  bool fpu_mess_load = false;

  // Receivers installed at `elapsed_ms` after creation.
  int32_t InstalledAt(int64_t elapsed_ms) const;
  // Offset of the receiver's clock from UTC at `elapsed_ms` after creation.
  int64_t OffsetAt(int64_t elapsed_ms) const;
};

// Parses scenario text (format above). Never fails: lines it cannot use are skipped and, when
// `warnings` is given, described there ("line 3: ...").
Scenario ParseScenario(std::string_view text, std::vector<std::string>* warnings = nullptr);

// Reads and parses the file at `path`. Returns false, leaving *out at the defaults, when the
// file cannot be read.
bool LoadScenarioFile(const std::string& path, Scenario* out,
                      std::vector<std::string>* warnings = nullptr);

}  // namespace sim
