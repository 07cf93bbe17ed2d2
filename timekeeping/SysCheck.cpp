// Platform level from the version query.
#include "timekeeping/SysCheck.h"

#include "platform/Platform.h"

namespace hv {

namespace {
int32_t platformLevel = -1;
constexpr uint32_t kOsVersionInfoSize = 148;  // sizeof(OSVERSIONINFOA)
}  // namespace

int32_t GetPlatformLevel() {
  int32_t level = -1;
  switch (Os().StartupPlatformId()) {
    case kPlatformWin32Windows:
      level = 0;
      break;
    case kPlatformWin32NT:
      level = 1;
      break;
    default:
      level = -1;
  }
  if (level <= 0) return level;
  OsVersionInfo info;
  info.dwOSVersionInfoSize = kOsVersionInfoSize;
  if (Os().GetVersionEx(info) && info.dwMajorVersion > 4u) level = 2;
  return level;
}

int32_t PlatformLevel() {
  return platformLevel;
}

void InitializeSysCheck() {
  platformLevel = GetPlatformLevel();
}

}  // namespace hv
