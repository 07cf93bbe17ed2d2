// What the program did, written to the Windows event log for administrators:
// the events, their numbers and severities, and the writer that limits how
// often each kind may appear.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace hv {

// An event's number as the Event Viewer shows it, and its severity. The
// message table (resources/EventMessages.mc) holds each text under the same
// number and severity.
struct EventKind {
  uint16_t id;
  EventType type;
};

namespace ev {
constexpr EventKind Started{1, EventType::Information};
constexpr EventKind NoPrivilege{2, EventType::Warning};
constexpr EventKind ClockSet{3, EventType::Information};
constexpr EventKind SettingRefused{4, EventType::Warning};
constexpr EventKind ReceiverFound{5, EventType::Information};
constexpr EventKind ReceiverLost{6, EventType::Warning};
constexpr EventKind LibraryFault{7, EventType::Error};
constexpr EventKind Ended{8, EventType::Information};
}  // namespace ev

// The identifier of an event's message in the message table: the message
// compiler puts the severity into the top two bits (1 informational,
// 2 warning, 3 error).
constexpr uint32_t MessageId(EventKind kind) {
  const uint32_t severity = kind.type == EventType::Error     ? 3
                            : kind.type == EventType::Warning ? 2
                                                              : 1;
  return severity << 30 | kind.id;
}

// How the receiver library came out of the binding at start.
enum class LibraryState { Found, NotFound, Incomplete };
// The rule that set the clock. (The program has no manual setting.)
enum class SyncRule { Startup, Hourly };
// Why a setting of the clock did not happen.
enum class RefusalReason { Plausibility, DeviationBound, NoRight, SystemError, Decoding };

// "2026-03-29 02:00:01.100"; without milliseconds when `withMs` is false.
std::string FormatEventTime(const SystemTime& time, bool withMs);
// A correction in signed seconds with milliseconds: "+1.234", "-0.050".
std::string FormatCorrection(int64_t milliseconds);

// Writes the program's events. Writing never fails loudly: an event the log
// does not take is forgotten. The kinds that a flapping receiver or a
// clock that cannot be set would repeat are written at most once a minute
// (receiver found, lost, library fault) or once an hour (each reason of a
// refused setting), measured on the performance counter, which the
// program's own settings of the clock do not move.
class TEventLog {
 public:
  void Started(const std::string& version, LibraryState library, const std::string& libraryPath);
  void NoPrivilege();
  // `set` is the time handed to the system, `reference` the ComboBoxRef
  // selection, `correctionMs` the new time minus the PC clock before.
  void ClockSet(const SystemTime& set, int reference, int64_t correctionMs, SyncRule rule);
  // `received` is the receiver's time; `systemError` the system's error code
  // of a refused SetLocalTime, else 0.
  void SettingRefused(RefusalReason reason, const SystemTime& received, uint32_t systemError);
  void ReceiverFound();
  void ReceiverLost();
  // The exception's code and description.
  void LibraryFault(uint32_t code, const std::string& what);
  // Only after Started: the program ends.
  void Ended(const std::string& version);

 private:
  // The limited kinds: one slot for each reason of a refused setting, then
  // the receiver found, lost, and a library fault.
  enum Slot { kFound = 5, kLost, kFault, kSlots };
  // Whether an event of this slot may be written now, at most one per
  // `intervalSeconds`; remembers the moment when it may.
  bool Due(int slot, int64_t intervalSeconds);
  void Write(EventKind kind, const std::vector<std::string>& strings);

  std::array<std::optional<int64_t>, kSlots> lastWritten_{};  // counter readings
  bool started_ = false;
};

}  // namespace hv
