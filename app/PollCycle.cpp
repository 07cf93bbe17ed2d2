// The poll cycle: the tick of the poll timer that drives the device session
// (Closed, Opened, Running), the readiness check, the message-pumping wait,
// the processing of each record read, and the power broadcast.
#include "app/UnitMain.h"
#include "common/ControlIds.h"
#include "common/Texts.h"
#include "device/KronaltIF.h"
#include "timekeeping/PCTime.h"

namespace hv {

namespace {

// Raised by a wait that ends because the program is ending: the tick that
// waited leaves at once, touching no control and no library any more. Not a
// std::exception, so that no failure handler on the way mistakes it for one.
struct TickAbandoned {};

// Counts the ticks running at once, also when a tick leaves by a failure.
class DepthCount {
 public:
  explicit DepthCount(int& depth) : depth_(depth) { ++depth_; }
  ~DepthCount() { --depth_; }
  DepthCount(const DepthCount&) = delete;
  DepthCount& operator=(const DepthCount&) = delete;

 private:
  int& depth_;
};

constexpr int kStatusPolls = 20;
constexpr int kStatusErrorAllowance = 2;

}  // namespace

void TFormMain::Timer3Timer() {
  // The waits inside a tick run the message loop, so a tick may start inside
  // another one's wait. A receiver that is slow to get ready would otherwise
  // let each nested tick start another wait, without end.
  if (Os().Terminated() || pollDepth_ >= kMaxPollDepth) return;
  DepthCount depth(pollDepth_);
  // Whatever fails (the library, a record that forms no date, the display),
  // the session starts over from Closed, and the tick goes on.
  try {
    PollSession();
  } catch (const TickAbandoned&) {
    return;  // the program ends: nothing more is touched
  } catch (...) {
    NoteLibraryFault();
    SessionLost();
  }
  try {
    UpdateDeviceInfo();
  } catch (...) {
    NoteLibraryFault();
    SessionLost();
  }
  RetryTrayIcon();
  if (++FTick >= kTicksPerSecond) FTick = 0;
}

void TFormMain::PollSession() {
  switch (FSessionState) {
    case SessionState::Closed:
      if (FLibraryLoaded && !FSuspended && _NumInstalled() > 0 && FTick == 0) {
        if (_Open()) {
          if (TabbedNotebook1.ActivePageIndex() == kInfoPageIndex) FInfoRequest = true;
          PanelMsg.SetText(Text(TextId::TxtDeviceOpened));
          FSessionState = SessionState::Opened;
          EventLog1.ReceiverFound();
        } else {
          PanelMsg.SetText(Text(TextId::TxtNotOpened));
        }
      }
      if (SecondChanged(PCLocalNow())) ShowPCClock();
      break;
    case SessionState::Opened:
      if (FTick == 0) {
        if (DeviceReady()) {
          TimeData record{};
          // The first valid record only proves that records flow. A message
          // handled during the probe's waits (a suspend) may have closed the
          // session meanwhile: it stays closed.
          if (_GetTimeData(record) && TimeDataValid(record) &&
              FSessionState == SessionState::Opened)
            FSessionState = SessionState::Running;
        } else {
          SessionLost();
        }
      }
      if (SecondChanged(PCLocalNow())) ShowPCClock();
      break;
    case SessionState::Running:
      if (DeviceReady()) {
        if (_TimeChanged()) {
          Delay(2);
          TimeData record{};
          if (_GetTimeData(record)) ProcessTimeData(record);
        }
      } else {
        SessionLost();
      }
      break;
  }
}

void TFormMain::SessionLost() {
  if (FSessionState != SessionState::Closed) EventLog1.ReceiverLost();
  FSessionState = SessionState::Closed;
  PanelMsg.SetText(Text(TextId::TxtNotOpened));
}

void TFormMain::NoteLibraryFault() {
  try {
    throw;
  } catch (const ELibraryFault& fault) {
    EventLog1.LibraryFault(fault.Code(), fault.what());
  } catch (...) {
    // Not the library's: the session's loss tells the rest.
  }
}

bool TFormMain::DeviceReady() {
  int errorsLeft = kStatusErrorAllowance;
  int32_t status = 0;
  for (int poll = 1;; ++poll) {
    try {
      status = _GetStatus();
    } catch (...) {
      // A status call that fails outright counts as the error case.
      NoteLibraryFault();
      errorsLeft = 0;
      break;
    }
    if (status == -1) --errorsLeft;
    Delay(2);  // after every poll, the successful one too
    if (status == 1 || poll == kStatusPolls || errorsLeft == 0) break;
  }
  if (errorsLeft == 0) {
    _Close();
    return false;
  }
  return status == 1;
}

void TFormMain::Delay(int32_t ms) {
  if (ms <= 0) return;
  // Every wait starts the one wait timer afresh, also a wait that begins
  // inside another one while its timer still runs, and ends at the first
  // tick of a run started since: that tick comes no sooner than `ms` after
  // the wait began. A wait around it ends with it, later than its own time.
  TimerDelay.SetInterval(static_cast<uint32_t>(ms));
  TimerDelay.Restart();
  const uint64_t run = ++delayRunsStarted_;
  // Once the program is told to end, nothing more is waited for.
  while (delayRunsEnded_ < run && !Os().Terminated()) Os().WaitAndProcessMessages();
  if (Os().Terminated()) throw TickAbandoned{};
}

void TFormMain::TimerDelayTimer() {
  TimerDelay.SetEnabled(false);
  // A restart drops the ticks of the runs before it: this is the newest run's.
  delayRunsEnded_ = delayRunsStarted_;
}

bool TFormMain::SecondChanged(TDateTime time) {
  const std::optional<DecodedDateTime> parts = DecodeDateTime(time);
  const int32_t second = parts ? parts->second : -1;
  const bool changed = second != FLastSecond;
  FLastSecond = second;
  return changed;
}

void TFormMain::ProcessTimeData(const TimeData& record) {
  // A call that finds the guard set interrupted a record's processing, or
  // that processing failed midway: it only clears the guard.
  if (FBusy) {
    FBusy = false;
    return;
  }
  FBusy = true;
  ShowRecord(record);
  if (TimeDataValid(record)) {
    if (record[tdSecond] == 0x00 || FQuality == -1) {
      Delay(2);
      FQuality = _GetDCFQuality();
      Delay(2);
      PanelDCFQuality.SetText(std::to_string(FQuality));
    }
    SyncPCTime(record, FQuality);
    // A setting that ends the program closed the window just now.
    if (Os().Terminated()) throw TickAbandoned{};
  }
  UpdateTraySource(record);
  UpdateBatteryPanel();
  ShowLastUpdate();
  FBusy = false;
}

namespace {

// Closes the device session for a suspend, or after one that was not announced.
void CloseForSleep(TFormMain& form) {
  if (form.FLibraryLoaded) {
    try {
      _Close();
    } catch (...) {
      // The machine sleeps or slept either way; the session counts as closed.
    }
  }
  form.FSessionState = SessionState::Closed;
}

}  // namespace

intptr_t TFormMain::WMPowerBroadcast(uintptr_t event) {
  switch (event) {
    case 0:  // query suspend
    case 1:  // query standby
      return 1;
    case 4:  // suspend
    case 5:  // standby
      FSuspended = true;
      CloseForSleep(*this);
      return 1;
    case 6:  // resume after a critical suspend: no suspend broadcast came
      // The session open before it is stale: closed first, as at a suspend.
      if (!FSuspended) CloseForSleep(*this);
      [[fallthrough]];
    case 7:   // resume from suspend, once a user is back
    case 8:   // resume from standby
    case 18:  // any resume: the only one after a wake timer or a network wake
      // The poll cycle reopens the device once the library reports it.
      FSuspended = false;
      return 1;
    default:
      return 0;
  }
}

}  // namespace hv
