// Window timers and the waiting message processing.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "platform/virtual/VirtualPlatform.h"
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

// A wait timer ticks only in the program's own wait: a loop of the system's
// (a message box's, here a stand-in) ticks the window timers and leaves it
// due; the wait then ticks it at once. Else the wait itself lasts until it
// falls due, with no message to wake it.
TEST(Timers, AWaitTimerTicksOnlyInTheProgramsOwnWait) {
  TimerForm form;
  TTimer wait(form, 3, 2, TimerKind::Wait);
  int waitTicks = 0;
  double firedAt = 0;
  wait.OnTimer = [&] {
    wait.SetEnabled(false);
    ++waitTicks;
    firedAt = test::Now();
  };
  test::Realized window(form);
  double start = test::Now();
  wait.SetEnabled(true);
  for (int i = 0; i < 10 && waitTicks == 0; ++i) test::Platform().WaitAndProcessMessages();
  EXPECT_EQ(waitTicks, 1);
  EXPECT_GE(firedAt - start, 0.002) << "a 2 ms wait timer takes at least 2 ms";
  EXPECT_LT(firedAt - start, 0.5);

  form.slow.SetEnabled(true);
  wait.SetEnabled(true);
  start = test::Now();
  MSG message;
  while (test::Now() - start < 0.2) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&message);
    else
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  EXPECT_GE(form.slowTicks, 2);
  EXPECT_EQ(waitTicks, 1) << "a wait timer ticked in another loop";
  start = test::Now();
  test::Platform().WaitAndProcessMessages();
  EXPECT_EQ(waitTicks, 2);
  EXPECT_LT(firedAt - start, 0.05) << "the overdue wait timer ticks at once";
}

TEST(Timers, ATimerEnabledBeforeTheWindowExistsStartsWithIt) {
  TimerForm form;
  form.slow.SetEnabled(true);
  test::Realized window(form);
  EXPECT_TRUE(test::PumpUntil([&] { return form.slowTicks >= 1; }));
}

// --- The product against the virtual platform's model of window timers -------

constexpr UINT kPostedMessage = WM_APP + 21;

// Microseconds on the installed platform's performance counter (the virtual
// platform's counter runs on its own clock).
int64_t CounterUs() {
  int64_t frequency = 0;
  int64_t count = 0;
  Os().QueryPerformanceFrequency(frequency);
  Os().QueryPerformanceCounter(count);
  return static_cast<int64_t>(static_cast<long double>(count) * 1000000 / frequency);
}

// Keeps the thread busy, handling no message, for `ms` of the platform's time.
void BusyFor(int64_t ms) {
  const int64_t end = CounterUs() + ms * 1000;
  while (CounterUs() < end) {
  }
}

struct Event {
  std::string what;
  int64_t atUs;
};

// Several timers as the main window has them: a poll timer whose handler
// waits three times on a one-shot 2 ms wait timer with the loop running, a fast
// and a slow timer, and a stop timer that ends the run. The first tick of
// the slow timer blocks the thread for 0.8 s (every other timer falls due
// meanwhile), then stops the fast timer, posts a message and starts the
// fast timer again. The intervals are whole multiples of the 15.6 ms grain
// that the model has and Wine has not.
class TimerScenario : public TForm {
 public:
  explicit TimerScenario(std::function<void()> post)
      : TForm("Timer scenario"),
        poll(*this, 1, 156),
        fast(*this, 2, 78),
        slow(*this, 3, 234),
        stop(*this, 4, 1560),
        delay(*this, 5, 0, TimerKind::Wait),
        post_(std::move(post)) {
    poll.OnTimer = [this] {
      Note("poll<");
      for (int i = 0; i < 3; ++i) {
        delay.SetInterval(2);
        delay.SetEnabled(true);
        while (delay.Enabled()) Os().WaitAndProcessMessages();
      }
      Note("poll>");
    };
    delay.OnTimer = [this] {
      delay.SetEnabled(false);
      Note("delay");
    };
    fast.OnTimer = [this] { Note("fast"); };
    slow.OnTimer = [this] {
      Note("slow");
      if (++slowTicks_ != 1) return;
      BusyFor(800);
      fast.SetEnabled(false);
      post_();
      fast.SetEnabled(true);
      Note("fast restarted");
    };
    stop.OnTimer = [this] {
      stop.SetEnabled(false);
      stopped = true;
    };
  }

  // Runs the scenario to its end; the same code on either platform.
  std::vector<Event> Run() {
    start_ = CounterUs();
    for (TTimer* timer : {&poll, &fast, &slow, &stop}) timer->SetEnabled(true);
    while (!stopped) Os().WaitAndProcessMessages();
    for (TTimer* timer : {&poll, &fast, &slow, &delay}) timer->SetEnabled(false);
    return events;
  }

  bool HandleMessage(uint32_t message, uintptr_t, intptr_t, intptr_t& result) override {
    if (message != kPostedMessage) return false;
    Note("posted");
    result = 0;
    return true;
  }

  TTimer poll, fast, slow, stop, delay;
  bool stopped = false;
  std::vector<Event> events;

 private:
  void Note(const char* what) { events.push_back({what, CounterUs() - start_}); }
  std::function<void()> post_;
  int slowTicks_ = 0;
  int64_t start_ = 0;
};

std::string Describe(const std::vector<Event>& events) {
  std::string text;
  for (const Event& e : events) text += std::to_string(e.atUs / 1000) + " " + e.what + "\n";
  return text;
}

int Count(const std::vector<Event>& events, const std::string& what) {
  return static_cast<int>(
      std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.what == what; }));
}

// The rules of window timers that hold whatever the timing: checked on the
// model's run and on the product's alike.
void ExpectTimerRules(const std::vector<Event>& events) {
  SCOPED_TRACE(Describe(events));
  // Each wait of the poll handler ends with exactly one tick of the delay
  // timer: no tick of an earlier run, none after it stopped.
  std::vector<int> open;  // delays seen in each poll handler running
  for (const Event& e : events) {
    if (e.what == "poll<") open.push_back(0);
    if (e.what == "delay") {
      ASSERT_FALSE(open.empty()) << "a delay tick outside a wait, at " << e.atUs;
      ++open.back();
    }
    if (e.what == "poll>") {
      ASSERT_FALSE(open.empty());
      EXPECT_EQ(open.back(), 3) << "delay ticks in the poll ending at " << e.atUs;
      open.pop_back();
    }
  }
  EXPECT_TRUE(open.empty()) << "a poll handler did not end";

  // A message posted while other timers' ticks are due comes first: ticks
  // are made only when nothing else waits. Stopping a timer changes nothing
  // of that.
  auto restarted = std::find_if(events.begin(), events.end(),
                                [](const Event& e) { return e.what == "fast restarted"; });
  ASSERT_NE(restarted, events.end());
  ASSERT_NE(restarted + 1, events.end());
  EXPECT_EQ(restarted[1].what, "posted");
  // The stopped timer's due tick is gone: its next one comes a whole
  // interval after the restart.
  auto nextFast =
      std::find_if(restarted, events.end(), [](const Event& e) { return e.what == "fast"; });
  ASSERT_NE(nextFast, events.end());
  EXPECT_GE(nextFast->atUs - restarted->atUs, 78000 - 1000);
}

TEST(TimerModel, TheProductDeliversTicksAsTheModelPredicts) {
  VirtualPlatform model;
  InstallPlatform(&model);
  std::vector<Event> predicted;
  {
    TimerScenario form([&] {
      model.Post([&] {
        intptr_t result = 0;
        form.HandleMessage(kPostedMessage, 0, 0, result);
      });
    });
    predicted = form.Run();
  }
  InstallPlatform(&test::Platform());
  std::vector<Event> seen;
  {
    TimerScenario form([&] { PostMessageA(static_cast<HWND>(form.handle), kPostedMessage, 0, 0); });
    test::Realized window(form);
    seen = form.Run();
  }

  {
    SCOPED_TRACE("the model");
    ExpectTimerRules(predicted);
  }
  {
    SCOPED_TRACE("the product");
    ExpectTimerRules(seen);
  }
  // As many ticks as the model makes, give or take the real clock: a busy
  // machine may cost ticks, but no more than predicted may come (a timer
  // that was due several times while the thread was busy ticks once).
  for (const char* timer : {"poll<", "fast", "slow"}) {
    const int expected = Count(predicted, timer);
    EXPECT_LE(Count(seen, timer), expected + 1) << timer << "\n" << Describe(seen);
    EXPECT_GE(Count(seen, timer), expected - expected / 3) << timer << "\n" << Describe(seen);
  }
}

}  // namespace
}  // namespace hv
