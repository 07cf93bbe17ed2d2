// The program's events in the Windows event log, with their rate limits.
#include "app/EventLog.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "timekeeping/Prectime.h"

namespace hv {

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;

// The build, as the downloads name it.
constexpr const char* kBuild = sizeof(void*) == 8 ? "x64" : "x86";

const char* LibraryStateName(LibraryState state) {
  switch (state) {
    case LibraryState::Found:
      return "found";
    case LibraryState::Incomplete:
      return "incomplete";
    case LibraryState::NotFound:
      break;
  }
  return "not found";
}

const char* ReferenceName(int selection) {
  if (selection == 0) return "UTC";
  if (selection == 1) return "CET";
  return "CE(S)T";
}

const char* ReasonName(RefusalReason reason) {
  switch (reason) {
    case RefusalReason::Plausibility:
      return "plausibility";
    case RefusalReason::DeviationBound:
      return "deviation bound";
    case RefusalReason::NoRight:
      return "no right";
    case RefusalReason::SystemError:
      return "system error";
    case RefusalReason::Decoding:
      break;
  }
  return "time decoding";
}

}  // namespace

std::string FormatEventTime(const SystemTime& t, bool withMs) {
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth,
                              t.wDay, t.wHour, t.wMinute, t.wSecond);
  if (withMs) std::snprintf(text + n, sizeof text - n, ".%03u", t.wMilliseconds);
  return text;
}

std::string FormatCorrection(int64_t milliseconds) {
  const int64_t magnitude = std::llabs(milliseconds);
  char text[32];
  std::snprintf(text, sizeof text, "%c%" PRId64 ".%03d", milliseconds < 0 ? '-' : '+',
                magnitude / 1000, static_cast<int>(magnitude % 1000));
  return text;
}

void TEventLog::Started(const std::string& version, LibraryState library,
                        const std::string& libraryPath) {
  started_ = true;
  const size_t separator = libraryPath.find_last_of("\\/");
  const std::string folder =
      separator == std::string::npos ? std::string() : libraryPath.substr(0, separator);
  Write(ev::Started, {version, kBuild, LibraryStateName(library), folder});
}

void TEventLog::NoPrivilege() {
  Write(ev::NoPrivilege, {});
}

void TEventLog::ClockSet(const SystemTime& set, int reference, int64_t correctionMs,
                         SyncRule rule) {
  Write(ev::ClockSet,
        {FormatEventTime(set, true), ReferenceName(reference), FormatCorrection(correctionMs),
         rule == SyncRule::Startup ? "start-up" : "hourly"});
}

void TEventLog::SettingRefused(RefusalReason reason, const SystemTime& received,
                               uint32_t systemError) {
  static_assert(static_cast<int>(RefusalReason::Decoding) < kFound);
  if (!Due(static_cast<int>(reason), kHour)) return;
  Write(ev::SettingRefused,
        {ReasonName(reason), FormatEventTime(received, false), std::to_string(systemError)});
}

void TEventLog::ReceiverFound() {
  if (Due(kFound, kMinute)) Write(ev::ReceiverFound, {});
}

void TEventLog::ReceiverLost() {
  if (Due(kLost, kMinute)) Write(ev::ReceiverLost, {});
}

void TEventLog::LibraryFault(uint32_t code, const std::string& what) {
  if (!Due(kFault, kMinute)) return;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08" PRIX32, code);
  Write(ev::LibraryFault, {hex, what});
}

void TEventLog::Ended(const std::string& version) {
  if (started_) Write(ev::Ended, {version});
  started_ = false;
}

bool TEventLog::Due(int slot, int64_t intervalSeconds) {
  int64_t now = 0;
  ReadCounter(now);
  std::optional<int64_t>& last = lastWritten_[static_cast<size_t>(slot)];
  // Without a performance counter there is no measure: every event is due.
  if (last && CounterFrequencyValue() > 0 &&
      ElapsedMicroseconds(*last, now) < intervalSeconds * 1000000)
    return false;
  last = now;
  return true;
}

void TEventLog::Write(EventKind kind, const std::vector<std::string>& strings) {
  // The log is a report, not a duty: an event it does not take is dropped.
  Os().ReportEvent(kind.type, MessageId(kind), strings);
}

}  // namespace hv
