// Parses the simulator's scenario text into a Scenario.
#include "simulator/Scenario.h"

#include <cstdio>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>

namespace sim {

int32_t Sequence::At(size_t call) const {
  if (values.empty()) return 0;
  if (call < values.size()) return values[call];
  return repeat ? values[call % values.size()] : values.back();
}

int32_t Scenario::InstalledAt(int64_t elapsed_ms) const {
  int32_t count = 0;
  for (const Step& step : installed) {
    if (step.at_ms > elapsed_ms) break;
    count = step.value;
  }
  return count;
}

int64_t Scenario::OffsetAt(int64_t elapsed_ms) const {
  int64_t offset = offset_ms;
  for (const OffsetStep& step : offset_changes) {
    if (step.at_ms > elapsed_ms) break;
    offset = step.offset_ms;
  }
  return offset;
}

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Splits at any of `separators`, trimming the parts; empty parts are kept so that "1,,2" fails.
std::vector<std::string_view> Split(std::string_view s, std::string_view separators) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t end = s.find_first_of(separators, start);
    parts.push_back(Trim(s.substr(start, end - start)));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Whole signed number, decimal or 0x-hexadecimal, nothing else on the text.
bool ParseInt(std::string_view s, int64_t* out) {
  s = Trim(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (error != std::errc() || end != s.data() + s.size() || value > (uint64_t{1} << 62)) {
    return false;
  }
  *out = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
  return true;
}

bool ParseInt32(std::string_view s, int32_t* out) {
  int64_t v;
  if (!ParseInt(s, &v) || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool ParseBool(std::string_view s, bool* out) {
  std::string v = Lower(s);
  if (v == "1" || v == "yes" || v == "true" || v == "on") return *out = true, true;
  if (v == "0" || v == "no" || v == "false" || v == "off") return *out = false, true;
  return false;
}

bool ParseSequence(std::string_view s, Sequence* out) {
  std::vector<int32_t> values;
  for (std::string_view part : Split(s, ",")) {
    int32_t v;
    if (!ParseInt32(part, &v)) return false;
    values.push_back(v);
  }
  out->values = std::move(values);
  return true;
}

// Hex bytes separated by spaces or commas ("26 02 30", "0x26,0x02"), or one run of digit pairs.
template <size_t N>
bool ParseHexBytes(std::string_view s, std::array<uint8_t, N>* out) {
  std::vector<std::string_view> parts;
  for (std::string_view part : Split(s, " ,\t")) {
    if (!part.empty()) parts.push_back(part);
  }
  if (parts.size() == 1 && parts[0].size() == 2 * N) {
    std::string_view run = parts[0];
    parts.clear();
    for (size_t i = 0; i < N; ++i) parts.push_back(run.substr(2 * i, 2));
  }
  if (parts.size() != N) return false;
  std::array<uint8_t, N> bytes{};
  for (size_t i = 0; i < N; ++i) {
    std::string_view p = parts[i];
    if (p.size() > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p.remove_prefix(2);
    unsigned v = 0;
    auto [end, error] = std::from_chars(p.data(), p.data() + p.size(), v, 16);
    if (p.empty() || p.size() > 2 || error != std::errc() || end != p.data() + p.size()) {
      return false;
    }
    bytes[i] = static_cast<uint8_t>(v);
  }
  *out = bytes;
  return true;
}

bool ParseInstalled(std::string_view s, std::vector<Step>* out) {
  std::vector<Step> steps;
  for (std::string_view part : Split(s, ",")) {
    size_t at = part.find('@');
    Step step{0, 0};
    if (!ParseInt32(part.substr(0, at), &step.value)) return false;
    if (at != std::string_view::npos && !ParseInt(part.substr(at + 1), &step.at_ms)) return false;
    if (!steps.empty() && step.at_ms < steps.back().at_ms) return false;
    steps.push_back(step);
  }
  *out = std::move(steps);
  return true;
}

// "0@7000, -5000@9000": offsets from a moment on, in ascending order of the moments.
bool ParseOffsetChanges(std::string_view s, std::vector<OffsetStep>* out) {
  std::vector<OffsetStep> steps;
  for (std::string_view part : Split(s, ",")) {
    const size_t at = part.find('@');
    OffsetStep step{0, 0};
    if (at == std::string_view::npos || !ParseInt(part.substr(0, at), &step.offset_ms) ||
        !ParseInt(part.substr(at + 1), &step.at_ms)) {
      return false;
    }
    if (!steps.empty() && step.at_ms < steps.back().at_ms) return false;
    steps.push_back(step);
  }
  *out = std::move(steps);
  return true;
}

bool IsEntryPoint(std::string_view name) {
  static constexpr std::string_view kNames[] = {
#define HV_ENTRY(name, takes_buffer) #name,
#include "device/EntryPoints.def"
  };
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// "_Name@N, _Other": exported names, each with an optional 1-based first faulting call.
bool ParseFaults(std::string_view s, std::vector<FaultPlan>* out) {
  std::vector<FaultPlan> plans;
  for (std::string_view part : Split(s, ",")) {
    size_t at = part.find('@');
    FaultPlan plan{std::string(Trim(part.substr(0, at))), 1};
    if (!IsEntryPoint(plan.entry)) return false;
    if (at != std::string_view::npos &&
        (!ParseInt(part.substr(at + 1), &plan.from_call) || plan.from_call < 1)) {
      return false;
    }
    plans.push_back(std::move(plan));
  }
  *out = std::move(plans);
  return true;
}

// Applies one knob; false when the key is unknown or the value does not parse.
bool Apply(const std::string& key, std::string_view value, Scenario* sc) {
  std::string word = Lower(value);
  int32_t i32;
  int64_t i64;
  if (key == "installed") return ParseInstalled(value, &sc->installed);
  if (key == "open_fails") {
    if (word == "always") return sc->open_fails = -1, true;
    if (!ParseInt32(value, &i32) || i32 < 0) return false;
    return sc->open_fails = i32, true;
  }
  if (key == "status") return ParseSequence(value, &sc->status);
  if (key == "status_repeat") return ParseBool(value, &sc->status.repeat);
  if (key == "quality") return ParseSequence(value, &sc->quality);
  if (key == "quality_repeat") return ParseBool(value, &sc->quality.repeat);
  if (key == "battery") return ParseSequence(value, &sc->battery);
  if (key == "battery_repeat") return ParseBool(value, &sc->battery.repeat);
  if (key == "source") {
    if (word == "dcf" || word == "dcf77") return sc->source = TimeSource::kDcf, true;
    if (word == "crystal") return sc->source = TimeSource::kCrystal, true;
    return false;
  }
  if (key == "offset_ms") return ParseInt(value, &sc->offset_ms);
  if (key == "offset_changes") return ParseOffsetChanges(value, &sc->offset_changes);
  if (key == "drift_ppm") {
    if (!ParseInt(value, &i64) || i64 < -1000000 || i64 > 1000000) return false;
    return sc->drift_ppm = i64, true;
  }
  if (key == "summer") {
    if (word == "auto") return sc->summer = SummerMode::kAuto, true;
    if (word == "0") return sc->summer = SummerMode::kNormal, true;
    if (word == "1") return sc->summer = SummerMode::kSummer, true;
    return false;
  }
  if (key == "reception") return ParseInt32(value, &sc->reception);
  if (key == "antenna") {
    if (word == "main" || word == "spare") return sc->spare_antenna = word == "spare", true;
    return false;
  }
  if (key == "cfg") {
    if (!ParseInt(value, &i64) || i64 < 0 || i64 > 255) return false;
    return sc->cfg = static_cast<uint8_t>(i64), true;
  }
  if (key == "device_info") return ParseHexBytes(value, &sc->device_info);
  if (key == "serial") {
    if (value.size() > 255) return false;
    return sc->serial = std::string(value), true;
  }
  if (key == "time_data") {
    std::array<uint8_t, 8> bytes;
    if (!ParseHexBytes(value, &bytes)) return false;
    return sc->time_data = bytes, true;
  }
  if (key == "time_data_from") return ParseInt(value, &sc->time_data_from);
  if (key == "skip_seconds") {
    std::vector<int> seconds;
    for (std::string_view part : Split(value, ",")) {
      if (!ParseInt32(part, &i32) || i32 < 0 || i32 > 59) return false;
      seconds.push_back(i32);
    }
    return sc->skip_seconds = std::move(seconds), true;
  }
  if (key == "skip_at") {
    std::vector<int64_t> moments;
    for (std::string_view part : Split(value, ",")) {
      if (!ParseInt(part, &i64)) return false;
      moments.push_back(i64);
    }
    return sc->skip_at = std::move(moments), true;
  }
  if (key == "overwrite") {
    if (!ParseInt32(value, &i32) || i32 < 0 || i32 > 64) return false;
    return sc->overwrite = i32, true;
  }
  if (key == "log") return sc->log = std::string(value), true;
  if (key == "fault") return ParseFaults(value, &sc->faults);
  if (key == "fpu_mess") return ParseBool(value, &sc->fpu_mess);
  if (key == "fpu_mess_load") return ParseBool(value, &sc->fpu_mess_load);
  return false;
}

}  // namespace

Scenario ParseScenario(std::string_view text, std::vector<std::string>* warnings) {
  Scenario sc;
  int number = 0;
  for (std::string_view line : Split(text, "\n")) {
    ++number;
    // Trailing comments need a blank before the marker, so "serial = A#1" keeps its '#'.
    for (std::string_view marker : {" #", " ;", "\t#", "\t;"}) {
      size_t at = line.find(marker);
      if (at != std::string_view::npos) line = line.substr(0, at);
    }
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[') {
      continue;
    }
    size_t eq = line.find('=');
    std::string key = eq == std::string_view::npos ? "" : Lower(Trim(line.substr(0, eq)));
    if (key.empty()) {
      if (warnings) warnings->push_back("line " + std::to_string(number) + ": no key = value");
      continue;
    }
    if (!Apply(key, Trim(line.substr(eq + 1)), &sc) && warnings) {
      warnings->push_back("line " + std::to_string(number) + ": ignored '" + std::string(line) +
                          "'");
    }
  }
  return sc;
}

bool LoadScenarioFile(const std::string& path, Scenario* out, std::vector<std::string>* warnings) {
  // C stdio rather than streams: the DLL then carries no stream library.
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *out = Scenario{};
    return false;
  }
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  *out = ParseScenario(text, warnings);
  return true;
}

}  // namespace sim
