// The synchronisation decision: when the PC clock is set from a received
// record, in which time reference, and what the user is told.
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/Application.h"
#include "common/Texts.h"
#include "config/UnitConfig.h"
#include "timekeeping/PCTime.h"
#include "timekeeping/UnitPlausibility.h"

namespace hv {

namespace {

constexpr uint8_t kSecond1 = 0x01;  // packed BCD, compared raw
constexpr uint8_t kMinute0 = 0x00;
constexpr uint16_t kSetMilliseconds = 100;
constexpr int64_t kMaxDeviationMinutes = 70;

bool QualityTest(const TimeData& record, int32_t quality, int32_t required) {
  return TimeDataIsDCF(record) && quality >= required;
}

// What the time reference takes from the received legal time: UTC is one
// hour behind normal time and two behind summer time, CET one behind
// summer time.
TDateTime ReferenceOffset(int selection, bool summerTime) {
  if (selection == 0) return summerTime ? -2 * kOneHour : -kOneHour;
  if (selection == 1) return summerTime ? -kOneHour : 0.0;
  return 0.0;
}

// A span counted on the millisecond, so that day fractions that should be
// equal compare equal.
int64_t Milliseconds(TDateTime span) {
  return std::llround(span * 86400000.0);
}

int64_t WholeMinutesBetween(TDateTime a, TDateTime b) {
  return std::llabs(Milliseconds(a - b)) / 60000;
}

}  // namespace

void TFormMain::SyncPCTime(const TimeData& record, int32_t quality) {
  const bool atSecond1 = record[tdSecond] == kSecond1;
  const bool atMinute0 = record[tdMinute] == kMinute0;
  const int32_t required = SpinEditQuality.TextValue();  // as typed, not clamped

  // 1. The filter sees one record a minute, whatever the rules are. A date
  // that does not exist raises here and ends the decision for this record.
  bool plausible = false;
  if (atSecond1) {
    TDataModulePlausibility& filter = *Application()->DataModulePlausibility;
    filter.FDateLabel = &LabelDebug_Date;
    filter.FTimeLabel = &LabelDebug_Time;
    filter.FStatusLabel = &LabelDebug_Status;
    plausible = TimeDataValid(record) && filter.CheckPlausibility(record, required);
  }

  // 2. The start-up rule is armed again at each full hour.
  if (atMinute0 && RadioGroupStartup.ItemIndex() > 0) FStartupPending = true;

  // 3. The start-up rule: the filter's verdict, and for selection 2 the
  // quality too.
  bool qualifies = false;
  // Minutes that do not follow one another, once enough were seen, refuse
  // the start-up rule (told only when no rule sets the clock below).
  bool implausible = false;
  if (atSecond1 && FStartupPending && RadioGroupStartup.ItemIndex() >= 1) {
    qualifies = RadioGroupStartup.ItemIndex() == 2
                    ? plausible && QualityTest(record, quality, required)
                    : plausible;
    implausible =
        !plausible && TimeDataValid(record) &&
        Application()->DataModulePlausibility->History().size() >= static_cast<size_t>(required);
  }
  const SyncRule rule = qualifies ? SyncRule::Startup : SyncRule::Hourly;

  // 4. The hourly rule is armed at second 1 of minute 0 ...
  if (atMinute0 && RadioGroupPeriodical.ItemIndex() > 0 && atSecond1) FPeriodicPending = true;

  // 5. ... and then tries every record until a setting succeeds.
  if (!qualifies && FPeriodicPending) {
    qualifies = TimeDataValid(record) &&
                (RadioGroupPeriodical.ItemIndex() != 2 || QualityTest(record, quality, required));
  }

  if (qualifies) {
    // 7. Only a setting disarms the start-up rule.
    FStartupPending = true;
    SetClockFrom(record, rule);
  } else if (implausible) {
    EventLog1.SettingRefused(RefusalReason::Plausibility,
                             TimeDataToSystemTime(record, kSetMilliseconds), 0);
  }

  // 11. The tray shows the record's time source.
  UpdateTraySource(record);
}

void TFormMain::SetClockFrom(const TimeData& record, SyncRule rule) {
  // 8. The received time, set at 100 ms into its second.
  const SystemTime received = TimeDataToSystemTime(record, kSetMilliseconds);
  const TDateTime pcTime = PCLocalNow();
  const std::optional<TDateTime> t0 = TrySystemTimeToDateTime(received);

  // 9. The received time must lie within 70 minutes of the PC clock. A PC
  // clock that keeps the reference's time (UTC is two hours behind summer
  // time) is also near enough when it lies that close to the time to be set.
  const TDateTime offset = ReferenceOffset(ComboBoxRef.ItemIndex(), TimeDataSummerTime(record));
  const bool near =
      WholeMinutesBetween(t0.value_or(kFallbackDateTime), pcTime) < kMaxDeviationMinutes ||
      (t0 && WholeMinutesBetween(*t0 + offset, pcTime) < kMaxDeviationMinutes);
  if (!near) {
    PanelMsg.SetText(Text(TextId::TxtDeviationTooGreat));
    EventLog1.SettingRefused(RefusalReason::DeviationBound, received, 0);
    return;
  }

  // 10. Into the reference's time, at least ten minutes after the last
  // setting.
  try {
    const TDateTime t = SystemTimeToDateTime(received) + offset;
    const std::optional<SystemTime> target = DateTimeToSystemTime(t);
    if (!target) throw EConvertError("the time to set lies outside the calendar");
    // Too soon after the last setting: skipped silently, the rules stay armed.
    if (Milliseconds(t - FLastSetTime) <= Milliseconds(FMinSetInterval)) return;
    if (!SetPCTime(*target)) {
      // Without the privilege the system was not asked; Windows itself may
      // also deny the right (ERROR_PRIVILEGE_NOT_HELD).
      const bool asked = HasSystemTimePrivilege();
      const uint32_t error = asked ? Os().GetLastError() : 0;
      PanelMsg.SetText(Text(TextId::TxtAdjustmentFailed));
      EventLog1.SettingRefused(!asked || error == kErrorPrivilegeNotHeld
                                   ? RefusalReason::NoRight
                                   : RefusalReason::SystemError,
                               received, error);
      return;
    }
    FLastSetTime = t;
    if (Config.Tone) Os().MessageBeep(0);
    FStartupPending = false;
    FPeriodicPending = false;
    Config.LastUpdate = TimeDataToDateTime(record);
    // Only now, with the clock set: the new time against the PC clock read
    // just before.
    EventLog1.ClockSet(*target, ComboBoxRef.ItemIndex(), Milliseconds(t - pcTime), rule);
  } catch (const std::exception&) {
    PanelMsg.SetText(Text(TextId::TxtTimeDecodingError));
    EventLog1.SettingRefused(RefusalReason::Decoding, received, 0);
    return;
  }
  ReportSetting();
}

void TFormMain::ReportSetting() {
  if (CheckBoxTerminate.Checked() && !Visible()) {
    try {
      Close();  // the program ends once the current tick is done
      return;
    } catch (const std::exception& failure) {
      // The clock is set; only the settings file failed. The user hears of
      // it as from every other close, and the program runs on.
      PanelMsg.SetText(Text(TextId::TxtTimeAdjusted));
      ShowException(failure);
      return;
    }
  }
  PanelMsg.SetText(Text(TextId::TxtTimeAdjusted));
}

}  // namespace hv
