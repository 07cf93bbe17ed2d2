// Window timers, the message loop, and the wait that runs the loop inside a
// handler.
#include "platform/win32/WindowRecords.h"

namespace hv {

void WindowLayer::SetTimer(TForm& form, uint32_t id, uint32_t interval) {
  FormRecord* record = Find(form);
  if (!record) {
    pendingTimers_[&form][id] = interval;
    return;
  }
  StopTimer(*record, id);
  StartTimer(*record, id, interval);
}

void WindowLayer::KillTimer(TForm& form, uint32_t id) {
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

void WindowLayer::WaitAndProcessMessages() {
  if (terminated_) return;
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) WaitMessage();
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      terminated_ = true;
      PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
      return;
    }
    Dispatch(message);
  }
}

void WindowLayer::Quit() {
  // Seen at once by every loop, also a wait running inside a handler; the
  // posted quit ends any modal loop on the way out.
  terminated_ = true;
  PostQuitMessage(0);
}

}  // namespace hv
