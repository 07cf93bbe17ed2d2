// Test fixture for the poll cycle and the display: the program started on the
// virtual platform with the in-process receiver, whose calls are recorded.
#pragma once

#include <sstream>

#include "app/ControlIds.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {

// One call of the receiver library as its log reports it.
struct LibraryCall {
  int64_t atMs;
  std::string entry;
  int32_t result;
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
      calls.push_back(call);
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

  std::vector<LibraryCall> calls;
};

}  // namespace hv::test
