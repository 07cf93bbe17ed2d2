// The plausibility filter over received minute stamps, driven directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/virtual/VirtualPlatform.h"
#include "tests/core/TimeDataBuilder.h"
#include "timekeeping/UnitPlausibility.h"

namespace hv::test {
namespace {

class Plausibility : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&os);
    filter.DataModuleCreate();
    filter.FDateLabel = &date;
    filter.FTimeLabel = &time;
    filter.FStatusLabel = &status;
  }
  void TearDown() override { InstallPlatform(nullptr); }

  VirtualPlatform os;
  TForm window{"labels"};
  TLabel date{window, 1, "date", nullptr, {}};
  TLabel time{window, 2, "time", nullptr, {}};
  TLabel status{window, 3, "status", nullptr, {}};
  TDataModulePlausibility filter;
};

struct Call {
  TDateTime stamp;
  int32_t window;
  bool verdict;
  const char* status;
};

struct Sequence {
  const char* name;
  std::vector<Call> calls;
};

TDateTime Noon(int minute, int second = 1) {
  return At(2026, 12, 8, 12, minute, second);
}

TEST_F(Plausibility, VerdictsOverSequencesOfMinutes) {
  const std::vector<Sequence> sequences = {
      {"a window below 2 records nothing",
       {{Noon(0), 1, true, "0|1"}, {Noon(1), 0, true, "0|1"}, {Noon(2), -7, true, "0|1"}}},
      {"the first stamp, then one a minute later",
       {{Noon(0), 2, false, "1|0"}, {Noon(1), 2, true, "2|1"}, {Noon(2), 2, true, "2|1"}}},
      {"a missed minute stays in a window of 3 for one more minute",
       {{Noon(0), 3, false, "1|0"},
        {Noon(1), 3, false, "2|0"},
        {Noon(3), 3, false, "3|0"},
        {Noon(4), 3, false, "3|0"},
        {Noon(5), 3, true, "3|1"}}},
      {"the same minute twice, then a minute back",
       {{Noon(0), 2, false, "1|0"},
        {Noon(0), 2, false, "2|0"},
        {Noon(1), 2, true, "2|1"},
        {Noon(0), 2, false, "2|0"}}},
      {"58 s and 62 s are no minute",
       {{Noon(0), 2, false, "1|0"}, {Noon(0, 59), 2, false, "2|0"}, {Noon(2, 1), 2, false, "2|0"}}},
      {"midnight, month end, leap day and year end",
       {{At(2026, 4, 30, 23, 59, 1), 2, false, "1|0"},
        {At(2026, 5, 1, 0, 0, 1), 2, true, "2|1"},
        {At(2028, 2, 28, 23, 59, 1), 2, false, "2|0"},
        {At(2028, 2, 29, 0, 0, 1), 2, true, "2|1"},
        {At(2026, 12, 31, 23, 59, 1), 2, false, "2|0"},
        {At(2027, 1, 1, 0, 0, 1), 2, true, "2|1"}}},
      {"spring: 01:59 is followed by 03:00",
       {{At(2026, 3, 29, 1, 58, 1), 3, false, "1|0"},
        {At(2026, 3, 29, 1, 59, 1), 3, false, "2|0"},
        {At(2026, 3, 29, 3, 0, 1), 3, false, "3|0"},
        {At(2026, 3, 29, 3, 1, 1), 3, false, "3|0"},
        {At(2026, 3, 29, 3, 2, 1), 3, true, "3|1"}}},
      {"autumn: 02:59 summer time is followed by 02:00 normal time",
       {{At(2026, 10, 25, 2, 58, 1), 2, false, "1|0"},
        {At(2026, 10, 25, 2, 59, 1), 2, true, "2|1"},
        {At(2026, 10, 25, 2, 0, 1), 2, false, "2|0"},
        {At(2026, 10, 25, 2, 1, 1), 2, true, "2|1"}}},
      {"the window shrinks from 5 to 3: the newest 3 are tested",
       {{Noon(0), 5, false, "1|0"},
        {Noon(2), 5, false, "2|0"},  // a gap that leaves with the shrink
        {Noon(3), 5, false, "3|0"},
        {Noon(4), 5, false, "4|0"},
        {Noon(5), 5, false, "5|0"},
        {Noon(6), 3, true, "3|1"}}},
      {"the window grows from 2 to 4",
       {{Noon(0), 2, false, "1|0"},
        {Noon(1), 2, true, "2|1"},
        {Noon(2), 4, false, "3|0"},
        {Noon(3), 4, true, "4|1"}}},
      {"after minutes with a window of 1 the last recorded stamp is the neighbour",
       {{Noon(0), 2, false, "1|0"},
        {Noon(1), 2, true, "2|1"},
        {Noon(2), 1, true, "2|1"},
        {Noon(3), 1, true, "2|1"},
        {Noon(4), 2, false, "2|0"},
        {Noon(5), 2, true, "2|1"}}},
  };
  for (const Sequence& s : sequences) {
    SCOPED_TRACE(s.name);
    filter.DataModuleDestroy();
    filter.DataModuleCreate();
    filter.FStatusLabel = &status;
    for (size_t i = 0; i < s.calls.size(); ++i) {
      const Call& c = s.calls[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(filter.CheckPlausibility(Received(c.stamp), c.window), c.verdict);
      EXPECT_EQ(status.Text(), c.status);
      // Never longer than a window of 2 or more.
      if (c.window >= 2) {
        EXPECT_LE(filter.History().size(), static_cast<size_t>(c.window));
      }
    }
  }
}

TEST_F(Plausibility, KeepsTheNewestStampsAndShowsTheLastOne) {
  for (int minute = 0; minute < 5; ++minute) filter.CheckPlausibility(Received(Noon(minute)), 3);
  EXPECT_EQ(filter.History(), (std::deque<TDateTime>{Noon(2), Noon(3), Noon(4)}));
  // The flags play no part: crystal time and summer time count alike.
  EXPECT_TRUE(filter.CheckPlausibility(Received(Noon(5), kCrystal | kSummer), 3));
  EXPECT_EQ(date.Text(), "08.12.2026");
  EXPECT_EQ(time.Text(), "12:05:01");
  // A window below 2 leaves the stamps and the date and time alone.
  EXPECT_TRUE(filter.CheckPlausibility(Received(Noon(30)), 1));
  EXPECT_EQ(filter.History().size(), 3u);
  EXPECT_EQ(time.Text(), "12:05:01");
  // Without display references nothing is shown.
  filter.FDateLabel = filter.FTimeLabel = filter.FStatusLabel = nullptr;
  EXPECT_TRUE(filter.CheckPlausibility(Received(Noon(6)), 3));
  EXPECT_EQ(time.Text(), "12:05:01");
  EXPECT_EQ(status.Text(), "3|1");
}

TEST_F(Plausibility, ADateOrTimeThatDoesNotExistFailsAndChangesNothing) {
  filter.CheckPlausibility(Received(Noon(0)), 2);
  const TimeData impossible[] = {
      Received(2026, 2, 30, 12, 1, 1),  // 30 February
      Received(2026, 4, 31, 12, 1, 1),  // 31 April
      Received(2027, 2, 29, 12, 1, 1),  // 29 February outside a leap year
      [] {
        TimeData r = Received(2026, 12, 8, 12, 1, 1);
        r[tdMonth] = 0x0D;  // decodes as 13
        return r;
      }(),
      [] {
        TimeData r = Received(2026, 12, 8, 12, 1, 1);
        r[tdMinute] = 0x5A;  // decodes as 60
        return r;
      }(),
  };
  for (const TimeData& r : impossible) {
    EXPECT_THROW(filter.CheckPlausibility(r, 2), EConvertError);
    EXPECT_EQ(filter.History(), std::deque<TDateTime>{Noon(0)});
    EXPECT_EQ(date.Text(), "08.12.2026");
    EXPECT_EQ(time.Text(), "12:00:01");
    EXPECT_EQ(status.Text(), "1|0");
  }
  // With a window below 2 the record is not converted at all.
  EXPECT_TRUE(filter.CheckPlausibility(impossible[0], 1));
  // The next real minute continues the sequence.
  EXPECT_TRUE(filter.CheckPlausibility(Received(Noon(1)), 2));
}

}  // namespace
}  // namespace hv::test
