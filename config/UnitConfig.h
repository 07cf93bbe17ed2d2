// The settings in memory: the records `Config` and `Serialization`.
#pragma once

#include <cstdint>

#include "common/DateTime.h"

namespace hv {

struct TConfig {
  int32_t x = 0;                 // left edge of the main window, screen pixels
  int32_t y = 0;                 // top edge of the main window, screen pixels
  int32_t TimeRef = 0;           // 0 UTC, 1 CET, 2 CE(S)T
  int32_t StartupUpdate = 0;     // 0 never, 1 also crystal time, 2 DCF77 with quality
  bool Terminate = false;        // end after a setting made while hidden
  int32_t PeriodicalUpdate = 0;  // 0 never, 1 also crystal time, 2 DCF77 with quality
  int32_t DCFQuality = 0;        // required quality and plausibility window, 1..99 on screen
  TDateTime LastUpdate = 0.0;    // received time of the last setting; 0.0 = never
  bool Tone = false;             // beep at each setting
  bool FirstRun = false;         // the first-run notice is due
};

// Values kept in the settings file and written back unchanged.
struct TSerialization {
  int32_t x = 0;
  int32_t y = 0;
  int32_t sn = 0;
};

extern TConfig Config;
extern TSerialization Serialization;

// The unit's initialisation: both records zero, the positions 10/10.
void InitializeUnitConfig();

}  // namespace hv
