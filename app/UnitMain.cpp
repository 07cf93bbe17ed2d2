// The main window: components, start-up (`FormCreate`), shutdown
// (`FormCloseQuery`) and the small handlers of the window.
#include "app/UnitMain.h"

#include "app/ControlIds.h"
#include "app/Texts.h"
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

// Layout, design pixels at 96 dpi. A page's client area is 412 x 300.
constexpr int kRow = 26;  // pitch of the caption/value rows
constexpr int kCaptionWidth = 150;
constexpr int kValueLeft = 162;
constexpr int kValueWidth = 242;
constexpr Bounds CaptionAt(int top) {
  return {8, top, kCaptionWidth, 22};
}
constexpr Bounds ValueAt(int top) {
  return {kValueLeft, top, kValueWidth, 22};
}

const char* const kTrayTips[3] = {"No Radio Clock Time available", "Crystal Time", "DCF77 Time"};

// The maker's addresses shown on the About page.
constexpr const char* kHomePage = "https://horavia.example.com/";
constexpr const char* kSupportMail = "support@horavia.example.com";

Font LargeBold(int height) {
  Font f;
  f.height = height;
  f.bold = true;
  return f;
}

Font Tahoma(int height, bool bold = false) {
  Font f;
  f.height = height;
  f.bold = bold;
  f.name = "Tahoma";
  return f;
}

}  // namespace

const char* TrayTip(int source) {
  return kTrayTips[source >= 0 && source <= 2 ? source : 0];
}

TFormMain::TFormMain()
    : TForm(T(TextId::TxtProductName)),
      TabbedNotebook1(*this, ctl::TabbedNotebook1, "TabbedNotebook1", nullptr, {0, 0, 420, 330},
                      {T(TextId::TxtPageTime), T(TextId::TxtPageSetup), T(TextId::TxtPageInfo),
                       T(TextId::TxtPageAbout)}),
      PageTime(*this, ctl::PageTime, "PageTime", TabbedNotebook1, 0),
      PageSetup(*this, ctl::PageSetup, "PageSetup", TabbedNotebook1, 1),
      PageInfo(*this, ctl::PageInfo, "PageInfo", TabbedNotebook1, 2),
      PageAbout(*this, ctl::PageAbout, "PageAbout", TabbedNotebook1, 3),
      SpeedButtonHide(*this, ctl::SpeedButtonHide, "SpeedButtonHide", nullptr, {8, 336, 140, 26},
                      T(TextId::TxtButtonClose)),
      SpeedButtonTerminate(*this, ctl::SpeedButtonTerminate, "SpeedButtonTerminate", nullptr,
                           {272, 336, 140, 26}, T(TextId::TxtButtonTerminate)),
      // Time page
      LabelDOW(*this, ctl::LabelDOW, "LabelDOW", &PageTime, {8, 6, 300, 26}, "---"),
      LabelDate(*this, ctl::LabelDate, "LabelDate", &PageTime, {8, 34, 300, 26}, "--.--.----"),
      LabelTime(*this, ctl::LabelTime, "LabelTime", &PageTime, {8, 62, 300, 36}, "--:--:--"),
      Image1(*this, ctl::Image1, "Image1", &PageTime, {344, 14, 32, 32}),
      PanelSeason(*this, ctl::PanelSeason, "PanelSeason", &PageTime, {316, 56, 88, 22}),
      Panel1(*this, ctl::Panel1, "Panel1", &PageTime, CaptionAt(112), T(TextId::TxtSignalQuality)),
      PanelDCFQuality(*this, ctl::PanelDCFQuality, "PanelDCFQuality", &PageTime, ValueAt(112)),
      Panel2(*this, ctl::Panel2, "Panel2", &PageTime, CaptionAt(112 + kRow), T(TextId::TxtState)),
      PanelStatus(*this, ctl::PanelStatus, "PanelStatus", &PageTime, ValueAt(112 + kRow)),
      Panel3(*this, ctl::Panel3, "Panel3", &PageTime, CaptionAt(112 + 4 * kRow),
             T(TextId::TxtAntenna)),
      PanelAntenna(*this, ctl::PanelAntenna, "PanelAntenna", &PageTime, ValueAt(112 + 4 * kRow)),
      Panel4(*this, ctl::Panel4, "Panel4", &PageTime, CaptionAt(112 + 2 * kRow),
             T(TextId::TxtBatteryVoltage)),
      PanelBattery(*this, ctl::PanelBattery, "PanelBattery", &PageTime, ValueAt(112 + 2 * kRow)),
      Panel16(*this, ctl::Panel16, "Panel16", &PageTime, CaptionAt(112 + 3 * kRow),
              T(TextId::TxtLastTimeSync)),
      PanelLastUpdate(*this, ctl::PanelLastUpdate, "PanelLastUpdate", &PageTime,
                      ValueAt(112 + 3 * kRow)),
      PanelMsg(*this, ctl::PanelMsg, "PanelMsg", &PageTime, {8, 268, 396, 24}),
      ImagePC(*this, ctl::ImagePC, "ImagePC", &PageTime, {316, 84, 16, 16}),
      ImageCrystal(*this, ctl::ImageCrystal, "ImageCrystal", &PageTime, {336, 84, 16, 16}),
      ImageDCF(*this, ctl::ImageDCF, "ImageDCF", &PageTime, {356, 84, 16, 16}),
      LabelDebug_Date(*this, ctl::LabelDebug_Date, "LabelDebug_Date", &PageTime, {8, 244, 120, 16}),
      LabelDebug_Time(*this, ctl::LabelDebug_Time, "LabelDebug_Time", &PageTime,
                      {132, 244, 120, 16}),
      LabelDebug_Status(*this, ctl::LabelDebug_Status, "LabelDebug_Status", &PageTime,
                        {256, 244, 80, 16}),
      ButtonTest(*this, ctl::ButtonTest, "ButtonTest", &PageTime, {340, 240, 64, 22},
                 T(TextId::TxtButtonTest)),
      // Setup page
      RadioGroupStartup(
          *this, ctl::RadioGroupStartup, "RadioGroupStartup", &PageSetup, {8, 4, 396, 78},
          T(TextId::TxtStartupCaption),
          {T(TextId::TxtStartupNever), T(TextId::TxtStartupCrystal), T(TextId::TxtStartupDCF)}),
      CheckBoxTerminate(*this, ctl::CheckBoxTerminate, "CheckBoxTerminate", &PageSetup,
                        {16, 86, 388, 20}, T(TextId::TxtTerminateAfterUpdate)),
      RadioGroupPeriodical(*this, ctl::RadioGroupPeriodical, "RadioGroupPeriodical", &PageSetup,
                           {8, 110, 396, 78}, T(TextId::TxtPeriodicalCaption),
                           {T(TextId::TxtPeriodicalNever), T(TextId::TxtPeriodicalCrystal),
                            T(TextId::TxtPeriodicalDCF)}),
      LabelQuality(*this, ctl::LabelQuality, "LabelQuality", &PageSetup, {16, 202, 300, 18},
                   T(TextId::TxtQualityLabel)),
      SpinEditQuality(*this, ctl::SpinEditQuality, "SpinEditQuality", &PageSetup,
                      {330, 198, 66, 22}, 1, 99, 2),
      CheckBoxTone(*this, ctl::CheckBoxTone, "CheckBoxTone", &PageSetup, {16, 230, 388, 20},
                   T(TextId::TxtTone)),
      LabelRef(*this, ctl::LabelRef, "LabelRef", &PageSetup, {16, 264, 140, 18},
               T(TextId::TxtRefLabel)),
      ComboBoxRef(*this, ctl::ComboBoxRef, "ComboBoxRef", &PageSetup, {160, 260, 236, 120},
                  {T(TextId::TxtRefUTC), T(TextId::TxtRefCET), T(TextId::TxtRefCEST)}),
      // Info page
      LabelDeviceInformation(*this, ctl::LabelDeviceInformation, "LabelDeviceInformation",
                             &PageInfo, {8, 8, 396, 18}, T(TextId::TxtDeviceInformation)),
      Panel5(*this, ctl::Panel5, "Panel5", &PageInfo, CaptionAt(30), T(TextId::TxtFirmware)),
      PanelFirmware(*this, ctl::PanelFirmware, "PanelFirmware", &PageInfo, ValueAt(30)),
      Panel6(*this, ctl::Panel6, "Panel6", &PageInfo, CaptionAt(30 + kRow),
             T(TextId::TxtDeviceType)),
      PanelType(*this, ctl::PanelType, "PanelType", &PageInfo, ValueAt(30 + kRow)),
      Panel8(*this, ctl::Panel8, "Panel8", &PageInfo, CaptionAt(30 + 2 * kRow),
             T(TextId::TxtSerialNo)),
      PanelSN(*this, ctl::PanelSN, "PanelSN", &PageInfo, ValueAt(30 + 2 * kRow)),
      Panel9(*this, ctl::Panel9, "Panel9", &PageInfo, CaptionAt(30 + 3 * kRow),
             T(TextId::TxtRevision)),
      PanelSN_EEPROM(*this, ctl::PanelSN_EEPROM, "PanelSN_EEPROM", &PageInfo,
                     ValueAt(30 + 3 * kRow)),
      LabelEquipment(*this, ctl::LabelEquipment, "LabelEquipment", &PageInfo, {8, 148, 396, 18},
                     T(TextId::TxtEquipment)),
      Panel12(*this, ctl::Panel12, "Panel12", &PageInfo, CaptionAt(170), T(TextId::TxtDCFModule)),
      PanelModule(*this, ctl::PanelModule, "PanelModule", &PageInfo, ValueAt(170)),
      Panel10(*this, ctl::Panel10, "Panel10", &PageInfo, CaptionAt(170 + kRow),
              T(TextId::TxtRealTimeClock)),
      PanelRTC(*this, ctl::PanelRTC, "PanelRTC", &PageInfo, ValueAt(170 + kRow)),
      Panel11(*this, ctl::Panel11, "Panel11", &PageInfo, CaptionAt(170 + 2 * kRow),
              T(TextId::TxtBatteryMeasure)),
      PanelMeasure(*this, ctl::PanelMeasure, "PanelMeasure", &PageInfo, ValueAt(170 + 2 * kRow)),
      Panel7(*this, ctl::Panel7, "Panel7", &PageInfo, CaptionAt(170 + 3 * kRow),
             T(TextId::TxtOperationMode)),
      PanelMode(*this, ctl::PanelMode, "PanelMode", &PageInfo, ValueAt(170 + 3 * kRow)),
      // About page
      Image2(*this, ctl::Image2, "Image2", &PageAbout, {0, 0, 412, 300}),
      Label6(*this, ctl::Label6, "Label6", &PageAbout, {16, 8, 380, 42}, T(TextId::TxtProductName)),
      Label3(*this, ctl::Label3, "Label3", &PageAbout, {16, 52, 380, 16},
             T(TextId::TxtAboutTagline)),
      LabelVersion(*this, ctl::LabelVersion, "LabelVersion", &PageAbout, {16, 76, 380, 16}),
      LabelCopyright(*this, ctl::LabelCopyright, "LabelCopyright", &PageAbout, {16, 94, 380, 16}),
      Panel18(*this, ctl::Panel18, "Panel18", &PageAbout, {16, 118, 380, 60}),
      Label4(*this, ctl::Label4, "Label4", &Panel18, {8, 9, 100, 18}, T(TextId::TxtHomepage)),
      UrlLabel1(*this, ctl::UrlLabel1, "UrlLabel1", &Panel18, {112, 7, 260, 20}),
      Label5(*this, ctl::Label5, "Label5", &Panel18, {8, 33, 100, 18}, T(TextId::TxtMailSupport)),
      UrlLabel2(*this, ctl::UrlLabel2, "UrlLabel2", &Panel18, {112, 31, 260, 20}),
      Panel19(*this, ctl::Panel19, "Panel19", &PageAbout, {16, 188, 380, 100}),
      Label9(*this, ctl::Label9, "Label9", &Panel19, {8, 8, 364, 16},
             T(TextId::TxtLiabilityHeading)),
      Label10(*this, ctl::Label10, "Label10", &Panel19, {8, 28, 364, 64},
              T(TextId::TxtLiabilityText)),
      Timer1(*this, kTimer1, 200),
      Timer2(*this, kTimer2, 10),
      Timer3(*this, kTimer3, 200),
      TimerDelay(*this, kTimerDelay, 0) {
  SetMainForm(true);
  SetBorder(BorderStyle::Single, false);

  TabbedNotebook1.OnChange = [this] { TabbedNotebook1Change(); };
  SpeedButtonHide.OnClick = [this] { SpeedButtonHideClick(); };
  SpeedButtonTerminate.OnClick = [this] { SpeedButtonTerminateClick(); };
  ButtonTest.OnClick = [this] { ButtonTestClick(); };
  RadioGroupStartup.OnClick = [this] { RadioGroupStartupClick(); };
  CheckBoxTerminate.OnClick = [this] { RadioGroupStartupClick(); };
  RadioGroupPeriodical.OnClick = [this] { RadioGroupStartupClick(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer2.OnTimer = [this] { Timer2Timer(); };
  Timer3.OnTimer = [this] { Timer3Timer(); };
  TimerDelay.OnTimer = [this] { TimerDelayTimer(); };
  // A restarted shell announces its new taskbar with this message.
  taskbarCreatedMessage_ = Os().RegisterWindowMessage("TaskbarCreated");

  // The date-and-time labels: centred, large, in the highlight colour.
  for (TLabel* label : {&LabelDOW, &LabelDate, &LabelTime}) {
    label->SetAlignment(Alignment::Center);
    label->SetFontColor(clHighlight);
    label->SetFont(LargeBold(label == &LabelTime ? 30 : 20));
  }
  for (TPanel* caption :
       {&Panel5, &Panel6, &Panel8, &Panel9, &Panel12, &Panel10, &Panel11, &Panel7})
    caption->SetAlignment(Alignment::Right);
  for (TPanel* value : {&PanelFirmware, &PanelType, &PanelSN, &PanelSN_EEPROM, &PanelModule,
                        &PanelRTC, &PanelMeasure, &PanelMode})
    value->SetAlignment(Alignment::Left);
  PanelMsg.SetAlignment(Alignment::Left);
  LabelDeviceInformation.SetFont(LargeBold(13));
  LabelEquipment.SetFont(LargeBold(13));

  // Hidden parts: the antenna pair, the tray pictures, the diagnostic
  // labels and the test button.
  for (TControl* hidden : std::initializer_list<TControl*>{
           &Panel3, &PanelAntenna, &ImagePC, &ImageCrystal, &ImageDCF, &LabelDebug_Date,
           &LabelDebug_Time, &LabelDebug_Status, &ButtonTest})
    hidden->SetVisible(false);
  ImagePC.SetPicture("IMAGEPC");
  ImageCrystal.SetPicture("IMAGECRYSTAL");
  ImageDCF.SetPicture("IMAGEDCF");

  // About page; its font heights are designed in pixels at 115 ppi.
  Image2.SetPicture("ABOUTBG");
  Label6.SetFont(Tahoma(DesignPixels(34, 115), true));
  Label6.SetFontColor(clMenuHighlight);
  Label3.SetFont(Tahoma(DesignPixels(11, 115)));
  for (TLabel* link : {&UrlLabel1, &UrlLabel2}) {
    link->SetFont(Tahoma(DesignPixels(14, 115)));
    link->SetFontColor(clNavy);
  }
  UrlLabel1.SetText(kHomePage);
  UrlLabel1.SetURL(kHomePage);
  UrlLabel1.SetURLType(TUrlType::utCustom);
  UrlLabel2.SetText(kSupportMail);
  UrlLabel2.SetURL(kSupportMail);
  UrlLabel2.SetURLType(TUrlType::utMail);
  UrlLabel2.SetMailSubject(T(TextId::TxtProductName));
  for (TUrlLabel* link : {&UrlLabel1, &UrlLabel2}) {
    link->SetDetectMouse(true);
    link->SetShowUrlHint(false);
  }
  Label9.SetFont(Tahoma(DesignPixels(11, 115)));
  Label9.SetFontColor(clHighlight);
  Label10.SetFont(Tahoma(DesignPixels(11, 115)));
  Label10.SetWordWrap(true);
}

void TFormMain::InitialiseControllerFields() {
  FBusy = false;
  FInfoRequest = false;
  FPeriodicPending = false;
  FStartupPending = true;
  FSuspended = false;
  FBatteryCountdown = 3;
  FLastSecond = 153;  // no second of any clock: the first comparison reports a change
  FSessionState = 0;
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

  // 10. The tray shows no radio time at start.
  FTraySource = 0;
  trayIconWanted_ = true;
  AddTrayIconForSource();

  // 11. Without the privilege every setting of the clock will fail.
  if (!HasSystemTimePrivilege()) {
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
  } catch (const ELibraryFault&) {
    // A library that faults here is not opened either; the start goes on
    // and the poll cycle meets the library like any other.
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
  DeleteTrayIcon(Os().WindowHandleValue(*this), kTrayIconId);
  trayIconShown_ = false;
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
  AddTrayIcon(Os().WindowHandleValue(*this), kTrayIconId, TrayIcon(FTraySource),
              TrayTip(FTraySource));
  trayIconShown_ = true;
}

void TFormMain::WMTaskbarCreated() {
  // The new taskbar knows no icons: this program's must come back, or
  // nobody could reach the hidden window.
  if (trayIconWanted_ && trayIconShown_) AddTrayIconForSource();
}

void TFormMain::WMEndSessionCancelled() {
  // The close query removed the icon for a session end that did not come.
  if (trayIconWanted_ && !trayIconShown_) AddTrayIconForSource();
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
