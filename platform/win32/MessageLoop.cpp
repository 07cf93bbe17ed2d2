// Window timers and wait timers, the message loop, and the wait that runs
// the loop inside a handler.
#include <algorithm>

#include "platform/win32/WindowRecords.h"

namespace hv {

void WindowLayer::SetTimer(TForm& form, uint32_t id, uint32_t interval) {
  if (form.TimerKindOf(id) == TimerKind::Wait) {
    // Kept here alone; the wait below times out when it falls due.
    StopWaitTimer(form, id);
    const int64_t intervalUs = int64_t{std::max<uint32_t>(interval, 1)} * 1000;
    waitTimers_.push_back({&form, id, intervalUs, CounterUs() + intervalUs});
    return;
  }
  FormRecord* record = Find(form);
  if (!record) {
    pendingTimers_[&form][id] = interval;
    return;
  }
  StopTimer(*record, id);
  StartTimer(*record, id, interval);
}

void WindowLayer::KillTimer(TForm& form, uint32_t id) {
  if (form.TimerKindOf(id) == TimerKind::Wait) {
    StopWaitTimer(form, id);
    return;
  }
  FormRecord* record = Find(form);
  if (!record) {
    auto pending = pendingTimers_.find(&form);
    if (pending != pendingTimers_.end()) pending->second.erase(id);
    return;
  }
  StopTimer(*record, id);
}

// Each run of a timer gets a system id of its own, so that a tick of an
// earlier run (one the system had already queued when the timer stopped)
// is recognised and dropped. The queue itself is left alone: ticks of the
// other timers, and a pending quit, stay as the system keeps them.
void WindowLayer::StartTimer(FormRecord& record, uint32_t id, uint32_t interval) {
  // Never 0, and never the id of a run still going (once the count wraps).
  auto inUse = [&](UINT_PTR run) {
    for (const auto& [other, current] : record.timers)
      if (current == run) return true;
    return false;
  };
  do {
    ++lastTimerRun_;
  } while (lastTimerRun_ == 0 || inUse(lastTimerRun_));
  if (::SetTimer(record.hwnd, lastTimerRun_, interval, nullptr)) record.timers[id] = lastTimerRun_;
}

void WindowLayer::StopTimer(FormRecord& record, uint32_t id) {
  auto running = record.timers.find(id);
  if (running == record.timers.end()) return;
  ::KillTimer(record.hwnd, running->second);
  record.timers.erase(running);
}

void WindowLayer::TimerTick(FormRecord& record, UINT_PTR run) {
  for (const auto& [id, current] : record.timers)
    if (current == run) {
      record.form->DispatchTimer(id);
      return;
    }
}

void WindowLayer::StopWaitTimer(const TForm& form, uint32_t id) {
  std::erase_if(waitTimers_,
                [&](const WaitTimer& timer) { return timer.form == &form && timer.id == id; });
}

int64_t WindowLayer::CounterUs() const {
  if (counterFrequency_ == 0) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    counterFrequency_ = frequency.QuadPart > 0 ? frequency.QuadPart : -1;
  }
  LARGE_INTEGER count{};
  if (counterFrequency_ < 0 || !QueryPerformanceCounter(&count))
    return int64_t{GetTickCount()} * 1000;  // no counter: a coarser clock
  const int64_t f = counterFrequency_;
  return count.QuadPart / f * 1000000 + count.QuadPart % f * 1000000 / f;
}

DWORD WindowLayer::WaitTimeout() const {
  if (waitTimers_.empty()) return INFINITE;
  int64_t due = waitTimers_.front().dueUs;
  for (const WaitTimer& timer : waitTimers_) due = std::min(due, timer.dueUs);
  const int64_t left = due - CounterUs();
  return left <= 0 ? 0 : static_cast<DWORD>((left + 999) / 1000);
}

bool WindowLayer::TickDueWaitTimer() {
  const int64_t now = CounterUs();
  auto due = std::find_if(waitTimers_.begin(), waitTimers_.end(),
                          [&](const WaitTimer& timer) { return timer.dueUs <= now; });
  if (due == waitTimers_.end()) return false;
  // As a window timer's: the times it fell due meanwhile make one tick.
  while (due->dueUs <= now) due->dueUs += due->intervalUs;
  TForm& form = *due->form;
  form.DispatchTimer(due->id);  // may stop or set timers
  return true;
}

void WindowLayer::Dispatch(MSG& message) {
  if (message.hwnd) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (root && formWindows_.count(root) && IsDialogMessageA(root, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void WindowLayer::RunMessageLoop() {
  MSG message;
  while (!terminated_) {
    const BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0) {
      terminated_ = true;
      break;
    }
    if (result == -1) break;
    Dispatch(message);
  }
}

// Every call to the system here may cost a round trip to another process
// (under Wine, to its server), five times a second while the program idles:
// the wait asks only for what it needs.
void WindowLayer::WaitAndProcessMessages() {
  if (terminated_) return;
  // Returns at once when a message is there, also one that an earlier look
  // saw and left; else when one arrives or the next wait timer falls due.
  // Timed out, the wait saw no message come: the timer's tick is all there
  // is to handle. The timeout is in whole milliseconds, and may end a
  // little early: then it waits on.
  for (;;) {
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(0, nullptr, WaitTimeout(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke != WAIT_TIMEOUT) break;
    if (TickDueWaitTimer()) return;
  }
  HandlePending();
}

void WindowLayer::HandlePending() {
  MSG message;
  for (;;) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        terminated_ = true;
        PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
        return;
      }
      Dispatch(message);
    } else if (!TickDueWaitTimer()) {
      return;
    }
  }
}

void WindowLayer::Quit() {
  // Seen at once by every loop, also a wait running inside a handler; the
  // posted quit ends any modal loop on the way out.
  terminated_ = true;
  PostQuitMessage(0);
}

}  // namespace hv
