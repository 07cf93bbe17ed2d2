// The main window `TFormMain`: its components (laid out in
// UnitMainLayout.cpp) and the controller's state and handlers (start-up,
// shutdown, the Setup page's rules, the tray callback, the page change).
#pragma once

#include <cstdint>

#include "app/EventLog.h"
#include "common/DateTime.h"
#include "desktop/UrlLabel.h"
#include "desktop/VersionInfo.h"
#include "device/KronaltIF.h"
#include "platform/Controls.h"

namespace hv {

// The device session: none (the program tries to open one), opened (waiting
// for a first valid record), running (every new second is read).
enum class SessionState : int32_t { Closed, Opened, Running };

// The poll timer's period, which the cycle's once-a-second work counts on:
// it comes on every kTicksPerSecond-th tick.
constexpr uint32_t kPollPeriodMs = 200;
constexpr int32_t kTicksPerSecond = 1000 / kPollPeriodMs;
static_assert(1000 % kPollPeriodMs == 0, "a whole number of ticks per second");
// Timer1: how long an unsupported platform's start waits, after its message,
// before it closes the program.
constexpr uint32_t kCloseDelayMs = 200;

class TFormMain : public TForm {
 public:
  TFormMain();

  // Handlers, named after their components and events.
  void FormCreate();
  bool FormCloseQuery();
  void SpeedButtonHideClick();
  void SpeedButtonTerminateClick();
  void Timer1Timer();
  void Timer2Timer();
  void TabbedNotebook1Change();
  void RadioGroupStartupClick();
  void UpdateSetupControls();
  void ButtonTestClick();
  // The tray icon's callback message; `mouseMessage` is its lParam.
  void WMTrayIcon(intptr_t mouseMessage);
  // Windows cancelled the end of the session after the close query.
  void WMEndSessionCancelled();
  // The shell's taskbar was created anew (the shell restarted).
  void WMTaskbarCreated();

  // The poll cycle (app/PollCycle.cpp).
  void Timer3Timer();
  // Step 1 of a tick: the device session's work by its state.
  void PollSession();
  // The session is closed: "Radio clock not opened! (connected?)".
  void SessionLost();
  // Up to 20 status polls; false when the receiver is not ready, after
  // closing it on the error path.
  bool DeviceReady();
  // Waits at least `ms` milliseconds on TimerDelay while the message loop runs.
  void Delay(int32_t ms);
  void TimerDelayTimer();
  // Whether the second of `time` differs from the one of the previous call.
  bool SecondChanged(TDateTime time);
  void ProcessTimeData(const TimeData& record);
  // Whether a device session is open (Opened or Running).
  bool SessionOpen() const { return FSessionState != SessionState::Closed; }
  // Poll ticks running now, nested in each other's waits (at most kMaxPollDepth).
  int PollDepth() const { return pollDepth_; }
  // The power broadcast: `event` is its wParam; answers the message result.
  intptr_t WMPowerBroadcast(uintptr_t event);

  // The synchronisation decision (app/SyncDecision.cpp) for one valid
  // record of the receiver: feeds the plausibility filter at second 1,
  // applies the start-up and hourly rules and sets the PC clock when they
  // qualify.
  void SyncPCTime(const TimeData& record, int32_t quality);

  // The status display (device/StatusDisplay.cpp).
  void DrawStatePicture(int index);
  void ShowPCClock();
  void UpdateBatteryPanel();
  void UpdateTraySource(const TimeData& record);
  void UpdateDeviceInfo();
  // The Time page for a record: date, time and panels for a valid one
  // (only while the window is shown), dashes for an invalid one.
  void ShowRecord(const TimeData& record);
  // The last-synchronisation panel from Config.LastUpdate.
  void ShowLastUpdate();

  bool CloseQuery() override { return FormCloseQuery(); }
  bool HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                     intptr_t& result) override;

  // Components, in creation order (parents before children); their bounds,
  // fonts and texts are in UnitMainLayout.cpp.
  TPageControl TabbedNotebook1;
  TPage PageTime;
  TPage PageSetup;
  TPage PageInfo;
  TPage PageAbout;
  TButton SpeedButtonHide;
  TButton SpeedButtonTerminate;

  // Time page
  TLabel LabelDOW;
  TLabel LabelDate;
  TLabel LabelTime;
  TImage Image1;
  TPanel PanelSeason;
  TPanel Panel1;
  TPanel PanelDCFQuality;
  TPanel Panel2;
  TPanel PanelStatus;
  TPanel Panel3;
  TPanel PanelAntenna;
  TPanel Panel4;
  TPanel PanelBattery;
  TPanel Panel16;
  TPanel PanelLastUpdate;
  TPanel PanelMsg;
  TImage ImagePC;
  TImage ImageCrystal;
  TImage ImageDCF;
  TLabel LabelDebug_Date;
  TLabel LabelDebug_Time;
  TLabel LabelDebug_Status;
  TButton ButtonTest;

  // Setup page
  TRadioGroup RadioGroupStartup;
  TCheckBox CheckBoxTerminate;
  TRadioGroup RadioGroupPeriodical;
  TLabel LabelQuality;
  TSpinEdit SpinEditQuality;
  TCheckBox CheckBoxTone;
  TLabel LabelRef;
  TComboBox ComboBoxRef;

  // Info page
  TLabel LabelDeviceInformation;
  TPanel Panel5;
  TPanel PanelFirmware;
  TPanel Panel6;
  TPanel PanelType;
  TPanel Panel8;
  TPanel PanelSN;
  TPanel Panel9;
  TPanel PanelSN_EEPROM;
  TLabel LabelEquipment;
  TPanel Panel12;
  TPanel PanelModule;
  TPanel Panel10;
  TPanel PanelRTC;
  TPanel Panel11;
  TPanel PanelMeasure;
  TPanel Panel7;
  TPanel PanelMode;

  // About page
  TImage Image2;
  TLabel Label6;
  TLabel Label3;
  TLabel LabelVersion;
  TLabel LabelCopyright;
  TFrame Panel18;
  TLabel Label4;
  TUrlLabel UrlLabel1;
  TLabel Label5;
  TUrlLabel UrlLabel2;
  TFrame Panel19;
  TLabel Label9;
  TLabel Label10;

  TVersionInfo VersionInfo1;
  // What the program did, for the Windows event log.
  TEventLog EventLog1;

  TTimer Timer1;
  TTimer Timer2;
  TTimer Timer3;
  TTimer TimerDelay;

  // The controller's fields, in their declared order.
  bool FLibraryLoaded = false;
  bool FBusy = false;
  bool FInfoRequest = false;
  bool FPeriodicPending = false;
  bool FStartupPending = false;
  bool FSuspended = false;
  int32_t FBatteryCountdown = 0;
  int32_t FLastSecond = 0;
  int32_t FTraySource = 0;
  SessionState FSessionState = SessionState::Closed;
  int32_t FTick = 0;
  int32_t FQuality = 0;
  TDateTime FLastSetTime = 0.0;
  TDateTime FMinSetInterval = 0.0;

 private:
  void InitialiseControllerFields();
  void ShowStartMessage();
  void FillAboutPage();
  // Adds the icon of the current time source; Shown when the shell has it
  // afterwards, else Wanted.
  void AddTrayIconForSource();
  // The poll tick's retry of an icon the shell did not take.
  void RetryTrayIcon();
  // The tray picture of a time source (0 none, 1 crystal, 2 DCF77).
  HandleValue TrayIcon(int source) const;
  // The setting of the clock by `rule` from a record that qualifies, and its
  // report.
  void SetClockFrom(const TimeData& record, SyncRule rule);
  // Inside a failure handler: a fault of the receiver library goes to the
  // event log.
  void NoteLibraryFault();
  void ReportSetting();

  int pollDepth_ = 0;
  // Runs of TimerDelay started by Delay, and the newest of them whose tick came.
  uint64_t delayRunsStarted_ = 0;
  uint64_t delayRunsEnded_ = 0;
  uint32_t taskbarCreatedMessage_ = 0;
  // The tray icon: none (the unsupported-platform start adds none), wanted
  // (the shell has not taken it yet: the poll tick tries again once a
  // second), shown, or withdrawn by the close query.
  enum class TrayIconState { None, Wanted, Shown, Withdrawn };
  TrayIconState trayIcon_ = TrayIconState::None;
};

// The tray icon's id, and its pictures and tips by time source (0 none,
// 1 crystal, 2 DCF77).
constexpr uint16_t kTrayIconId = 1;
const char* TrayTip(int source);

// Timer ids of the main window.
enum MainTimerId : uint32_t { kTimer1 = 1, kTimer2 = 2, kTimer3 = 3, kTimerDelay = 4 };

constexpr int kInfoPageIndex = 2;

// At most this many poll ticks run at once: a tick that arrives while as
// many are waiting in each other's Delay returns at once.
constexpr int kMaxPollDepth = 2;

}  // namespace hv
