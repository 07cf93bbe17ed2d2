// Test fixture for the poll cycle and the display: the program started on the
// virtual platform with the in-process receiver, whose calls are recorded.
#pragma once

#include <cmath>
#include <functional>
#include <sstream>

#include "app/ControlIds.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {

// One call of the receiver library as its log reports it.
struct LibraryCall {
  int64_t atMs;
  std::string entry;
  int32_t result;  // 0 for a call that faulted
  int64_t atUs;    // the monotonic time of the call
  int depth;       // poll ticks running at the call
};

class PollFixture : public CoreFixture {
 protected:
  // Registers the receiver, records its calls, starts the program.
  void Start(const std::string& scenario = "") {
    UseReceiver(scenario);
    receiver->SetLogSink([this](const std::string& line) {
      std::istringstream in(line);
      LibraryCall call{};
      std::string args, arrow;
      in >> call.atMs >> call.entry >> args >> arrow >> call.result;
      call.atUs = os.TickUs();
      call.depth = app && app->FormMain ? Main().PollDepth() : 0;
      calls.push_back(call);
      if (onCall) onCall(calls.back(), line);
    });
    ASSERT_TRUE(StartProgram());
  }

  // Counts the calls of `entry` from call number `from` on.
  int Count(const std::string& entry, size_t from = 0) const {
    int n = 0;
    for (size_t i = from; i < calls.size(); ++i) n += calls[i].entry == entry;
    return n;
  }

  // A TimeData record from decimal fields (day of week 1 = Monday).
  static TimeData Record(int year, int month, int day, int hour, int minute, int second,
                         int dayOfWeek, uint8_t flags) {
    auto bcd = [](int v) { return static_cast<uint8_t>(v / 10 * 16 + v % 10); };
    return {bcd(year % 100),
            bcd(month),
            bcd(day),
            bcd(hour),
            bcd(minute),
            bcd(second),
            static_cast<uint8_t>(dayOfWeek),
            flags};
  }

  // The next call of the tick that made call `index`: the first later call
  // at the same depth, unless the tick ended before it (a call at a lower
  // depth came first). Null when there is none.
  const LibraryCall* NextInTick(size_t index) const {
    for (size_t i = index + 1; i < calls.size(); ++i) {
      if (calls[i].depth < calls[index].depth) return nullptr;
      if (calls[i].depth == calls[index].depth) return &calls[i];
    }
    return nullptr;
  }

  // The true time, given as UTC milliseconds, in a time reference of the
  // Setup page (0 UTC, 1 CET, 2 CE(S)T), as a date-time.
  static TDateTime TrueTimeIn(int reference, int64_t trueUtcMs) {
    const int64_t hours = reference == 0   ? 0
                          : reference == 1 ? 1
                                           : (sim::IsEuropeanSummerTime(trueUtcMs) ? 2 : 1);
    return static_cast<TDateTime>(trueUtcMs + hours * 3600000) / 86400000.0 + 25569.0;
  }
  // Milliseconds from the true time in `reference` to the time a setting asked for.
  static int64_t SettingErrorMs(const VirtualPlatform::SetLocalTimeCall& call, int reference) {
    const TDateTime requested = *TrySystemTimeToDateTime(call.time);
    return std::llround((requested - TrueTimeIn(reference, call.trueUtcMs)) * 86400000.0);
  }

  // The tip of the tray icon as last handed to the shell.
  std::string LastTrayTip() const {
    return os.trayCalls.back().record.tip.data();
  }

  std::vector<LibraryCall> calls;
  // Runs after each call is recorded, with the receiver's log line.
  std::function<void(const LibraryCall&, const std::string&)> onCall;
};

}  // namespace hv::test
