// Window timers and the waiting message processing.
#include <gtest/gtest.h>

#include "tests/win32/Win32Test.h"

namespace hv {
namespace {

class TimerForm : public TForm {
 public:
  TimerForm() : TForm("Timers"), fast(*this, 1, 2), slow(*this, 2, 30) {
    fast.OnTimer = [this] {
      ++fastTicks;
      firedAt = test::Now();
    };
    slow.OnTimer = [this] { ++slowTicks; };
  }
  TTimer fast;
  TTimer slow;
  int fastTicks = 0;
  int slowTicks = 0;
  double firedAt = 0;
};

TEST(Timers, ATickRunsTheTimersHandler) {
  TimerForm form;
  test::Realized window(form);
  form.slow.SetEnabled(true);
  EXPECT_TRUE(test::PumpUntil([&] { return form.slowTicks >= 2; }));
  EXPECT_EQ(form.fastTicks, 0);
}

TEST(Timers, WaitingReturnsOnceTheTimerHasFired) {
  TimerForm form;
  test::Realized window(form);
  form.fast.SetEnabled(true);
  const double start = test::Now();
  for (int i = 0; i < 100 && form.fastTicks == 0; ++i) test::Platform().WaitAndProcessMessages();
  EXPECT_EQ(form.fastTicks, 1);
  EXPECT_GE(form.firedAt - start, 0.002) << "a 2 ms timer takes at least 2 ms";
}

TEST(Timers, AStoppedTimerDeliversNoTickThatWasAlreadyDue) {
  TimerForm form;
  test::Realized window(form);
  form.fast.SetEnabled(true);
  Sleep(40);  // the tick is due, not yet handled
  form.fast.SetEnabled(false);
  test::PumpFor(0.06);
  EXPECT_EQ(form.fastTicks, 0);
}

TEST(Timers, RestartingDropsTheTickOfTheEarlierRun) {
  TimerForm form;
  test::Realized window(form);
  form.slow.SetEnabled(true);
  form.fast.SetEnabled(true);
  Sleep(40);                   // both due
  form.fast.SetInterval(200);  // restarts: its due tick goes, the other timer's stays
  test::PumpFor(0.05);
  EXPECT_EQ(form.fastTicks, 0);
  EXPECT_GE(form.slowTicks, 1);
}

TEST(Timers, ATimerEnabledBeforeTheWindowExistsStartsWithIt) {
  TimerForm form;
  form.slow.SetEnabled(true);
  test::Realized window(form);
  EXPECT_TRUE(test::PumpUntil([&] { return form.slowTicks >= 1; }));
}

}  // namespace
}  // namespace hv
