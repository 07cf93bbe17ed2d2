// The virtual message loop behaves like Windows' where the core relies on it.
#include <gtest/gtest.h>

#include "platform/Controls.h"
#include "platform/virtual/VirtualPlatform.h"

namespace hv {
namespace {

class Loop : public ::testing::Test {
 protected:
  void SetUp() override { InstallPlatform(&os); }
  void TearDown() override { InstallPlatform(nullptr); }
  VirtualPlatform os;
  TForm form{"test"};
};

TEST_F(Loop, TimersElapseOnTheGranularityOfTheSystemTimer) {
  TTimer fast(form, 1, 2);
  std::vector<int64_t> ticks;
  fast.OnTimer = [&] { ticks.push_back(os.TickUs()); };
  fast.SetEnabled(true);
  os.RunFor(50);
  EXPECT_EQ(ticks, (std::vector<int64_t>{15600, 31200, 46800}));
  os.timerGranularityUs = 0;
  fast.SetEnabled(false);
  ticks.clear();
  fast.SetEnabled(true);
  os.RunFor(5);
  EXPECT_EQ(ticks.size(), 2u);
}

TEST_F(Loop, AWaitOfTwoMillisecondsLastsOneTimerTick) {
  TTimer delay(form, 4, 0);
  delay.OnTimer = [&] { delay.SetEnabled(false); };
  const int64_t start = os.TickUs();
  delay.SetInterval(2);
  delay.SetEnabled(true);
  while (delay.Enabled()) os.WaitAndProcessMessages();
  EXPECT_GE(os.TickUs() - start, 2000);
  EXPECT_LE(os.TickUs() - start, 15600);
}

TEST_F(Loop, TicksWaitForOtherMessagesAndCollapseIntoOne) {
  TTimer poll(form, 3, 200);
  int ticks = 0;
  std::vector<std::string> order;
  poll.OnTimer = [&] {
    ++ticks;
    order.push_back("tick");
  };
  poll.SetEnabled(true);
  os.RunFor(100);
  // A long handler: a message that keeps the loop busy for a second.
  os.Post([&] {
    order.push_back("message");
    os.Post([&] { order.push_back("second message"); });
  });
  os.RunFor(0);
  EXPECT_EQ(order, (std::vector<std::string>{"message", "second message"}));
  // Five periods pass with the tick pending: it arrives once.
  int64_t counts = 0;
  for (int i = 0; i < 1000000; ++i) os.QueryPerformanceCounter(counts);
  os.RunFor(0);
  EXPECT_EQ(ticks, 1);
}

TEST_F(Loop, TicksNestInsideAWaitOfAnotherHandler) {
  TTimer poll(form, 3, 200);
  TTimer delay(form, 4, 0);
  delay.OnTimer = [&] { delay.SetEnabled(false); };
  int depth = 0;
  int deepest = 0;
  int ticks = 0;
  poll.OnTimer = [&] {
    ++ticks;
    deepest = std::max(deepest, ++depth);
    if (ticks == 1) {
      // Twenty short waits inside the tick: longer than the poll period.
      for (int i = 0; i < 20; ++i) {
        delay.SetInterval(2);
        delay.SetEnabled(true);
        while (delay.Enabled()) os.WaitAndProcessMessages();
      }
    }
    --depth;
  };
  poll.SetEnabled(true);
  os.RunFor(300);
  EXPECT_EQ(deepest, 2);
  EXPECT_GE(ticks, 2);
}

// A wait timer ticks only in the program's own wait: neither the outer loop
// nor a modal one's (both RunFor here) makes its tick, while a window timer
// ticks on there. The wait ticks it at once when it is overdue, else on the
// system timer's grain like a window timer.
TEST_F(Loop, AWaitTimerTicksOnlyInTheProgramsOwnWait) {
  TTimer poll(form, 3, 200);
  TTimer delay(form, 4, 0, TimerKind::Wait);
  int polls = 0;
  int delays = 0;
  poll.OnTimer = [&] { ++polls; };
  delay.OnTimer = [&] {
    delay.SetEnabled(false);
    ++delays;
  };
  poll.SetEnabled(true);
  delay.SetInterval(2);
  delay.SetEnabled(true);
  os.RunFor(500);
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(delays, 0);
  EXPECT_TRUE(os.TimerActive(form, 4));
  const int64_t overdue = os.TickUs();
  os.WaitAndProcessMessages();
  EXPECT_EQ(delays, 1);
  EXPECT_EQ(os.TickUs(), overdue);
  const int64_t start = os.TickUs();
  delay.Restart();
  while (delay.Enabled()) os.WaitAndProcessMessages();
  EXPECT_EQ(delays, 2);
  EXPECT_GE(os.TickUs() - start, 2000);
  EXPECT_LE(os.TickUs() - start, 15600);
}

TEST_F(Loop, KillingATimerDropsItsPendingTick) {
  TTimer once(form, 2, 10);
  int ticks = 0;
  once.OnTimer = [&] { ++ticks; };
  once.SetEnabled(true);
  os.Post([&] {});
  int64_t counts = 0;
  for (int i = 0; i < 20000; ++i) os.QueryPerformanceCounter(counts);  // 20 ms pass
  once.SetEnabled(false);
  os.RunFor(100);
  EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace hv
