// The main window's behaviour: start-up (`FormCreate`), shutdown
// (`FormCloseQuery`) and the small handlers of the window. Its components
// are laid out in UnitMainLayout.cpp.
#include "app/UnitMain.h"

#include "common/ControlIds.h"
#include "common/Texts.h"
#include "config/UnitConfig.h"
#include "desktop/TBProcs.h"
#include "device/KronaltIF.h"
#include "timekeeping/PCTime.h"
#include "timekeeping/SysCheck.h"

namespace hv {

namespace {

std::string T(TextId id) {
  return Text(id);
}

const char* const kTrayTips[3] = {"No Radio Clock Time available", "Crystal Time", "DCF77 Time"};

}  // namespace

const char* TrayTip(int source) {
  return kTrayTips[source >= 0 && source <= 2 ? source : 0];
}

void TFormMain::InitialiseControllerFields() {
  FBusy = false;
  FInfoRequest = false;
  FPeriodicPending = false;
  FStartupPending = true;
  FSuspended = false;
  FBatteryCountdown = 3;
  FLastSecond = 153;  // no second of any clock: the first comparison reports a change
  FSessionState = SessionState::Closed;
  FTick = 0;
  FQuality = -1;
  FLastSetTime = kFallbackDateTime;
  FMinSetInterval = 10.0 / 1440.0;
}

void TFormMain::FormCreate() {
  // 1. The settings, before anything reads them.
  LoadConfig();

  // 2. Window position and size.
  SetPosition(Config.x, Config.y);
  const Bounds& terminate = SpeedButtonTerminate.GetBounds();
  SetClientSize(TabbedNotebook1.GetBounds().width, terminate.top + terminate.height);
  const Bounds page = TabbedNotebook1.PageClientBounds();
  Image2.SetBounds({0, 0, page.width, page.height});

  // 3. The Setup controls from the settings.
  ComboBoxRef.SetItemIndex(Config.TimeRef);
  RadioGroupStartup.SetItemIndex(Config.StartupUpdate);
  CheckBoxTerminate.SetChecked(Config.Terminate);
  RadioGroupPeriodical.SetItemIndex(Config.PeriodicalUpdate);
  SpinEditQuality.SetValue(Config.DCFQuality);
  CheckBoxTone.SetChecked(Config.Tone);

  // 4. Refuse a platform below Windows 2000.
  if (PlatformLevel() < 2) {
    Os().MessageBeep(0);
    Os().MessageBox(JoinLines({T(TextId::TxtUnsupported1), T(TextId::TxtUnsupported2)}),
                    T(TextId::TxtProductName), MessageBoxKind::Error, MessageBoxButtons::Cancel);
    Timer1.SetEnabled(true);
    return;
  }

  // 5. The controller's state and the device library.
  FLibraryLoaded = LoadDeviceLibrary();
  InitialiseControllerFields();

  // 6. No radio time yet.
  DrawStatePicture(0);

  // 7. Whether the library and a receiver are there.
  ShowStartMessage();

  // 8. The Setup page's enabling rules.
  UpdateSetupControls();

  // 9. The About page from the version resource.
  FillAboutPage();
  const std::string libraryPath = Os().LoadedLibraryPath("Tempiva");
  EventLog1.Started(VersionInfo1.FileVersion(),
                    FLibraryLoaded        ? LibraryState::Found
                    : libraryPath.empty() ? LibraryState::NotFound
                                          : LibraryState::Incomplete,
                    libraryPath);

  // 10. The tray shows no radio time at start.
  FTraySource = 0;
  AddTrayIconForSource();

  // 11. Without the privilege every setting of the clock will fail.
  if (!HasSystemTimePrivilege()) {
    EventLog1.NoPrivilege();  // before the box, which may stay unanswered
    Os().MessageBeep(0);
    Os().MessageBox(JoinLines({T(TextId::TxtPrivilege1), T(TextId::TxtPrivilege2),
                               T(TextId::TxtPrivilege3), "", "", T(TextId::TxtPrivilege4)}),
                    T(TextId::TxtProductName), MessageBoxKind::Warning, MessageBoxButtons::Ok);
  }

  // 12. The first-run notice, then the window.
  if (Config.FirstRun) {
    Os().MessageBeep(0);
    Os().MessageBox(
        JoinLines({T(TextId::TxtFirstRun1), T(TextId::TxtFirstRun2), T(TextId::TxtFirstRun3),
                   T(TextId::TxtFirstRun4), T(TextId::TxtFirstRun5)}),
        T(TextId::TxtProductName), MessageBoxKind::Information, MessageBoxButtons::Ok);
    Show();
  }

  // 13. The poll timer, last.
  Timer3.SetEnabled(true);
}

void TFormMain::ShowStartMessage() {
  if (!FLibraryLoaded) {
    PanelMsg.SetFontColor(clHighlight);
    PanelMsg.SetText(T(TextId::TxtLibraryNotFound));
    return;
  }
  int32_t installed = 1;
  try {
    installed = _NumInstalled();
  } catch (const ELibraryFault& fault) {
    // A library that faults here is not opened either; the start goes on
    // and the poll cycle meets the library like any other.
    EventLog1.LibraryFault(fault.Code(), fault.what());
  }
  PanelMsg.SetText(T(installed == 0 ? TextId::TxtNoDeviceInstalled : TextId::TxtNotOpened));
}

bool TFormMain::FormCloseQuery() {
  Config.x = Left();
  Config.y = Top();
  Config.TimeRef = ComboBoxRef.ItemIndex();
  Config.StartupUpdate = RadioGroupStartup.ItemIndex();
  Config.Terminate = CheckBoxTerminate.Checked();
  Config.PeriodicalUpdate = RadioGroupPeriodical.ItemIndex();
  Config.DCFQuality = SpinEditQuality.Value();
  Config.Tone = CheckBoxTone.Checked();
  // A file that cannot be written ends the query here: the close does not
  // happen and the icon stays.
  SaveConfig();
  EventLog1.Ended(VersionInfo1.FileVersion());
  DeleteTrayIcon(Os().WindowHandleValue(*this), kTrayIconId);
  if (trayIcon_ != TrayIconState::None) trayIcon_ = TrayIconState::Withdrawn;
  return true;
}

void TFormMain::FillAboutPage() {
  LabelVersion.SetText(T(TextId::TxtVersionPrefix) + VersionInfo1.FileVersion());
  LabelCopyright.SetText(VersionInfo1.LegalCopyright());
  UrlLabel2.AddMailBodyLine(T(TextId::TxtMailBodyProduct));
  UrlLabel2.AddMailBodyLine(T(TextId::TxtVersionPrefix) + VersionInfo1.FileVersion());
  UrlLabel2.AddMailBodyLine(T(TextId::TxtMailBodyRule));
}

HandleValue TFormMain::TrayIcon(int source) const {
  const TImage* pictures[3] = {&ImagePC, &ImageCrystal, &ImageDCF};
  return Os().LoadSmallIcon(pictures[source >= 0 && source <= 2 ? source : 0]->Picture());
}

void TFormMain::AddTrayIconForSource() {
  const HandleValue window = Os().WindowHandleValue(*this);
  const HandleValue icon = TrayIcon(FTraySource);
  // A busy shell (at logon) fails the add or lets it time out, and an add
  // that timed out may have taken effect after all: then the icon is there,
  // and a change of it succeeds.
  const bool shown = AddTrayIcon(window, kTrayIconId, icon, TrayTip(FTraySource)) ||
                     ModifyTrayIcon(window, kTrayIconId, icon, TrayTip(FTraySource));
  trayIcon_ = shown ? TrayIconState::Shown : TrayIconState::Wanted;
}

void TFormMain::RetryTrayIcon() {
  // No TaskbarCreated follows a failed add while the taskbar exists: without
  // the icon nobody could reach the hidden window.
  // On the last tick of each second: the first try comes a second after
  // the start's.
  if (trayIcon_ == TrayIconState::Wanted && FTick == 4) AddTrayIconForSource();
}

void TFormMain::WMTaskbarCreated() {
  // The new taskbar knows no icons: this program's must come back, or
  // nobody could reach the hidden window.
  if (trayIcon_ == TrayIconState::Shown || trayIcon_ == TrayIconState::Wanted)
    AddTrayIconForSource();
}

void TFormMain::WMEndSessionCancelled() {
  // The close query removed the icon for a session end that did not come.
  if (trayIcon_ == TrayIconState::Withdrawn) AddTrayIconForSource();
}

void TFormMain::SpeedButtonHideClick() {
  Hide();
}

void TFormMain::SpeedButtonTerminateClick() {
  Close();
}

void TFormMain::Timer1Timer() {
  Timer1.SetEnabled(false);
  Close();
}

void TFormMain::TabbedNotebook1Change() {
  Timer2.SetEnabled(true);
}

void TFormMain::Timer2Timer() {
  Timer2.SetEnabled(false);
  // Looked at only now: the page control reports a change before the new
  // page becomes current.
  if (TabbedNotebook1.ActivePageIndex() == kInfoPageIndex) FInfoRequest = true;
}

void TFormMain::RadioGroupStartupClick() {
  UpdateSetupControls();
}

void TFormMain::UpdateSetupControls() {
  CheckBoxTerminate.SetEnabled(RadioGroupStartup.ItemIndex() > 0);
  if (!CheckBoxTerminate.Enabled()) CheckBoxTerminate.SetChecked(false);
  RadioGroupPeriodical.SetEnabled(!CheckBoxTerminate.Checked());
}

void TFormMain::ButtonTestClick() {
  const SystemTime now = Os().GetLocalTime();
  LabelDebug_Time.SetText(Os().FormatLongTime(now));
  SetPCTime(now);
}

void TFormMain::WMTrayIcon(intptr_t mouseMessage) {
  if (mouseMessage == kWmLButtonUp || mouseMessage == kWmRButtonUp) {
    Show();
    Os().BringToFront(*this);
  }
}

bool TFormMain::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                              intptr_t& result) {
  if (message == kWmTrayIcon) {
    WMTrayIcon(lParam);
    result = 0;
    return true;
  }
  if (message == kWmEndSession && wParam == 0) {
    WMEndSessionCancelled();
    result = 0;
    return true;
  }
  if (message == kWmPowerBroadcast) {
    result = WMPowerBroadcast(wParam);
    return true;
  }
  if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) {
    WMTaskbarCreated();
    result = 0;
    return true;
  }
  return false;
}

}  // namespace hv
