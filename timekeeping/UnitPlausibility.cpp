// The plausibility filter over the received minute stamps.
#include "timekeeping/UnitPlausibility.h"

#include <string>

namespace hv {

void TDataModulePlausibility::DataModuleCreate() {
  FDateLabel = nullptr;
  FTimeLabel = nullptr;
  FStatusLabel = nullptr;
  FMinSpacing = *TryEncodeTime(0, 0, 59, 0);
  FMaxSpacing = *TryEncodeTime(0, 1, 1, 0);
  FHistory.clear();
}

void TDataModulePlausibility::DataModuleDestroy() {
  while (!FHistory.empty()) FHistory.pop_front();
}

bool TDataModulePlausibility::CheckPlausibility(const TimeData& Record, int32_t WindowLength) {
  bool verdict = true;
  if (WindowLength >= 2) {
    // Raises for a day past its month's end or a field past its range;
    // nothing has changed then.
    const TDateTime stamp = SystemTimeToDateTime(TimeDataToSystemTime(Record, 0));
    // Shown from the stamp itself, so the day of week is the calendar's.
    const SystemTime shown = *DateTimeToSystemTime(stamp);
    if (FDateLabel) FDateLabel->SetText(Os().FormatShortDate(shown));
    if (FTimeLabel) FTimeLabel->SetText(Os().FormatLongTime(shown));

    FHistory.push_back(stamp);
    while (FHistory.size() > static_cast<size_t>(WindowLength)) FHistory.pop_front();

    if (FHistory.size() < static_cast<size_t>(WindowLength)) {
      verdict = false;
    } else {
      // Every spacing is taken, also after one has failed.
      for (int32_t i = 0; i + 1 < WindowLength; ++i) {
        const TDateTime spacing = FHistory[i + 1] - FHistory[i];
        const bool oneMinute = FMinSpacing <= spacing && spacing <= FMaxSpacing;
        verdict = verdict && oneMinute;
      }
    }
  }
  if (FStatusLabel)
    FStatusLabel->SetText(std::to_string(FHistory.size()) + "|" + (verdict ? "1" : "0"));
  return verdict;
}

}  // namespace hv
