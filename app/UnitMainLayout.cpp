// The main window's layout: every component of `TFormMain` with its kind,
// id, bounds, font and text, and the events it raises; the part a form
// designer keeps in its form file. The behaviour is in UnitMain.cpp.
#include "app/UnitMain.h"

#include "common/ControlIds.h"
#include "common/Texts.h"

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
      Timer1(*this, kTimer1, kCloseDelayMs),
      Timer2(*this, kTimer2, 10),
      Timer3(*this, kTimer3, kPollPeriodMs),
      TimerDelay(*this, kTimerDelay, 0, TimerKind::Wait) {
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

}  // namespace hv
