// The plausibility module that tests whether the minutes received most
// recently follow one another the way real minutes do.
#pragma once

#include <cstdint>
#include <deque>

#include "common/DateTime.h"
#include "device/KronaltIF.h"
#include "platform/Controls.h"

namespace hv {

// Created once at start, after the main window; it keeps the history of
// minute stamps (one per minute, taken at second 1) for the life of the
// program.
class TDataModulePlausibility {
 public:
  TDataModulePlausibility() = default;
  TDataModulePlausibility(const TDataModulePlausibility&) = delete;
  TDataModulePlausibility& operator=(const TDataModulePlausibility&) = delete;
  ~TDataModulePlausibility() { DataModuleDestroy(); }

  // Creation handler: no display references, the bounds of 59 s and 61 s,
  // an empty history.
  void DataModuleCreate();
  // Destruction handler: empties the history from the front.
  void DataModuleDestroy();

  // Appends the record's minute stamp and answers whether the newest
  // `WindowLength` stamps lie one minute apart (59 to 61 s, both
  // inclusive). A window below 2 answers true and records nothing. A record
  // whose fields form no date and time raises EConvertError and changes
  // nothing.
  bool CheckPlausibility(const TimeData& Record, int32_t WindowLength);

  TDateTime MinSpacing() const { return FMinSpacing; }
  TDateTime MaxSpacing() const { return FMaxSpacing; }
  const std::deque<TDateTime>& History() const { return FHistory; }

  // Where the newest stamp's date and time and the last check's
  // "count|verdict" are shown; not owned, null for none.
  TControl* FDateLabel = nullptr;
  TControl* FTimeLabel = nullptr;
  TControl* FStatusLabel = nullptr;

 private:
  TDateTime FMinSpacing = 0.0;
  TDateTime FMaxSpacing = 0.0;
  std::deque<TDateTime> FHistory;  // oldest first
};

}  // namespace hv
