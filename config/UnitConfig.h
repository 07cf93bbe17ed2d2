// The settings in memory (`Config`, `Serialization`) and the settings file
// Kronalt.ini in the user's application-data folder.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

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

// A value of the settings file could not be written.
class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The path of a shell special folder; empty when it cannot be located.
std::string GetSpecialFolder(int folder);
// The user's application-data folder followed by a backslash. Where that
// folder cannot be located, the user's local application-data folder or,
// failing that, the profile folder takes its place.
std::string GetAppDataFolder();
// The full path of the settings file.
std::string ConfigFilePath();

// Reads every setting, with its default where the file, the section or the
// key is missing or the value is not in its form. Never fails.
void LoadConfig();
// Writes every setting, one value at a time. Throws EIniFileException with
// the message "In <path> kann nicht geschrieben werden" at the first value
// that cannot be written; the values before it are in the file.
void SaveConfig();

// The unit's initialisation: both records zero, the positions 10/10.
void InitializeUnitConfig();

}  // namespace hv
