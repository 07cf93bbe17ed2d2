// The receiver in the main window and the tray: the Time page, the battery
// panel with its low-battery countdown, the tray icon by time source, the
// last-synchronisation panel and the Info page.
#include <cstdio>

#include "app/Application.h"
#include "app/UnitMain.h"
#include "common/Texts.h"
#include "config/UnitConfig.h"
#include "desktop/TBProcs.h"
#include "device/KronaltIF.h"

namespace hv {

namespace {

std::string T(TextId id) {
  return Text(id);
}

// The text of `index` in a table of consecutive text ids, `outside` for an
// index the table does not cover.
std::string TableText(TextId first, int count, int index, TextId outside) {
  if (index < 0 || index >= count) return T(outside);
  return Text(static_cast<TextId>(static_cast<uint32_t>(first) + static_cast<uint32_t>(index)));
}

// Reception state 0..3.
std::string ReceptionText(int state) {
  return TableText(TextId::TxtReception0, 4, state, TextId::TxtUnknownValue);
}

// Day of week 1 = Monday .. 7 = Sunday.
std::string DayOfWeekText(int day) {
  return TableText(TextId::TxtMonday, 7, day - 1, TextId::TxtUnknownValue);
}

std::string DCFModuleText(int module) {
  return TableText(TextId::TxtModule0, 4, module, TextId::TxtModuleUnknown);
}

std::string TwoHexDigits(uint8_t value) {
  char buffer[4];
  std::snprintf(buffer, sizeof buffer, "%02X", value);
  return buffer;
}

// The date and the time of a moment in the user's formats; nothing when the
// value is no moment of the years 1..9999 or the system cannot format it
// (the system's date format refuses years before 1601).
std::optional<std::pair<std::string, std::string>> FormatDateAndTime(TDateTime value) {
  const std::optional<SystemTime> time = DateTimeToSystemTime(value);
  if (!time) return std::nullopt;
  std::string date = Os().FormatShortDate(*time);
  std::string clock = Os().FormatLongTime(*time);
  if (date.empty() || clock.empty()) return std::nullopt;
  return std::pair{std::move(date), std::move(clock)};
}

// The battery voltage in hundredths of a volt as the panel shows it: 2.80V.
std::string VoltageText(int32_t hundredths) {
  char digits[4];
  std::snprintf(digits, sizeof digits, "%02d", static_cast<int>(hundredths % 100));
  return std::to_string(hundredths / 100) + T(TextId::TxtDecimalPoint) + digits + "V";
}

// An Info value: its panel shows it after a blank.
void ShowInfo(TPanel& panel, const std::string& value) {
  std::string text(1, ' ');
  text += value;
  panel.SetText(text);
}

}  // namespace

void TFormMain::DrawStatePicture(int index) {
  static const char* const kStatePictures[3] = {"STATE0", "STATE1", "STATE2"};
  if (index < 0 || index > 2) return;
  Image1.SetPicture(kStatePictures[index]);
}

void TFormMain::ShowPCClock() {
  // A call that finds the guard set (it interrupted a record's processing,
  // or that processing failed midway) only clears it.
  if (FBusy) {
    FBusy = false;
    return;
  }
  FBusy = true;
  FQuality = -1;  // the next valid record reads the quality afresh
  if (Visible()) {
    DrawStatePicture(0);
    const SystemTime now = Os().GetLocalTime();
    LabelDOW.SetText(DayOfWeekText(now.wDayOfWeek == 0 ? 7 : now.wDayOfWeek));
    LabelDate.SetText(Os().FormatShortDate(now));
    LabelTime.SetText(Os().FormatLongTime(now));
    PanelSeason.SetText("");
    PanelDCFQuality.SetText("");
    PanelAntenna.SetText("");
    PanelStatus.SetText(SessionOpen() ? ReceptionText(_GetDCFStatus())
                                      : T(TextId::TxtNotApplicable));
  }
  UpdateBatteryPanel();
  UpdateTraySource(TimeData{});  // flag byte 0: no radio time
  ShowLastUpdate();
  FBusy = false;
}

void TFormMain::ShowRecord(const TimeData& record) {
  if (!TimeDataValid(record)) {
    // Shown or hidden, the labels never keep a time that is no longer read.
    LabelDOW.SetText("---");
    LabelDate.SetText("--.--.----");
    LabelTime.SetText("--:--:--");
    return;
  }
  if (!Visible()) return;
  DrawStatePicture(TimeDataState(record) == 3 ? 2 : 1);
  LabelDOW.SetText(DayOfWeekText(record[tdDayOfWeek]));
  // The fallback moment always formats.
  const auto dateAndTime = FormatDateAndTime(TimeDataToDateTime(record));
  LabelDate.SetText(dateAndTime ? dateAndTime->first : "");
  LabelTime.SetText(dateAndTime ? dateAndTime->second : "");
  PanelSeason.SetText(!TimeDataIsDCF(record)       ? T(TextId::TxtNotApplicable)
                      : TimeDataSummerTime(record) ? T(TextId::TxtSummerTime)
                                                   : T(TextId::TxtNormalTime));
  PanelAntenna.SetText(TimeDataSpareAntenna(record) ? T(TextId::TxtAntennaSpare)
                                                    : T(TextId::TxtAntennaMain));
  PanelStatus.SetText(ReceptionText(TimeDataState(record)));
}

void TFormMain::ShowLastUpdate() {
  const auto dateAndTime =
      Config.LastUpdate == 0.0 ? std::nullopt : FormatDateAndTime(Config.LastUpdate);
  PanelLastUpdate.SetText(dateAndTime ? dateAndTime->first + " " + dateAndTime->second
                                      : T(TextId::TxtNever));
}

void TFormMain::UpdateBatteryPanel() {
  PanelBattery.SetFontColor(clWindowText);
  std::string text = T(TextId::TxtNotApplicable);
  if (SessionOpen() && CfgHasBatteryMeasure(_GetCfg())) {
    int32_t millivolts = _GetBatteryVoltage();
    if (millivolts < 0) millivolts = _GetBatteryVoltage();
    if (millivolts < 0 || millivolts >= 3500) {
      text = T(TextId::TxtBatteryNotAvailable);  // the countdown is left alone
    } else {
      const int32_t hundredths = (millivolts + 5) / 10;  // rounded half up
      text = VoltageText(hundredths);
      if (hundredths >= 280)
        FBatteryCountdown = 3;
      else
        --FBatteryCountdown;
      // Only the third low reading in a row: further ones take the
      // countdown below 0 and repeat nothing.
      if (FBatteryCountdown == 0) {
        PanelBattery.SetFontColor(clHighlight);
        PanelMsg.SetText(T(TextId::TxtBatteryLow));
        if (TApplication* application = Application(); application && application->FormLowBat)
          application->FormLowBat->ShowOnce();
      }
    }
  }
  PanelBattery.SetText(text);
}

void TFormMain::UpdateTraySource(const TimeData& record) {
  const int source = !TimeDataValid(record) ? 0 : TimeDataIsDCF(record) ? 2 : 1;
  // An icon the shell has not taken yet gets the current source when it is
  // added.
  if (source != FTraySource && trayIcon_ == TrayIconState::Shown)
    ModifyTrayIcon(Os().WindowHandleValue(*this), kTrayIconId, TrayIcon(source), TrayTip(source));
  FTraySource = source;
}

void TFormMain::UpdateDeviceInfo() {
  if (!FInfoRequest) return;
  FInfoRequest = false;
  TPanel* const values[] = {&PanelFirmware, &PanelType, &PanelSN,      &PanelSN_EEPROM,
                            &PanelModule,   &PanelRTC,  &PanelMeasure, &PanelMode};
  if (!SessionOpen()) {
    for (TPanel* panel : values) ShowInfo(*panel, T(TextId::TxtNotApplicable));
    return;
  }
  DeviceInfo info{};
  _GetDeviceInfo(info);
  ShowInfo(PanelFirmware, "Version " + TwoHexDigits(info[1]) + "." + TwoHexDigits(info[0]) +
                              "  Built " + std::to_string(info[2]));
  ShowInfo(PanelType, TableText(TextId::TxtType0, 4, info[3] & 3, TextId::TxtUnknownValue));
  ShowInfo(PanelMode, TableText(TextId::TxtModeNormal, 2, info[4], TextId::TxtUnknownValue));
  ShowInfo(PanelSN, _GetSerialNumber());
  ShowInfo(PanelSN_EEPROM, std::to_string((info[3] >> 4) + 1));
  const uint8_t cfg = _GetCfg();
  ShowInfo(PanelRTC, T(CfgHasRTC(cfg) ? TextId::TxtRTCEquipped : TextId::TxtRTCNotAvailable));
  ShowInfo(PanelMeasure, T(CfgHasBatteryMeasure(cfg) ? TextId::TxtMeasureSupported
                                                     : TextId::TxtMeasureNotSupported));
  ShowInfo(PanelModule, DCFModuleText(CfgDCFModule(cfg)));
}

}  // namespace hv
