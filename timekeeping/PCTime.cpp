// System-time privilege and clock setter.
#include "timekeeping/PCTime.h"

namespace hv {

namespace {
bool systemTimePrivilegeEnabled = false;
}  // namespace

bool EnableSystemTimePrivilege() {
  Platform& os = Os();
  if (os.StartupPlatformId() != kPlatformWin32NT) return false;
  TokenHandle token = nullptr;
  if (!os.OpenProcessToken(kTokenAdjustPrivileges | kTokenQuery, token)) return false;
  bool enabled = false;
  Luid luid;
  if (os.LookupPrivilegeValue("SeSystemtimePrivilege", luid) &&
      os.AdjustTokenPrivilege(token, luid, kSePrivilegeEnabled)) {
    // The call also succeeds when the account lacks the right; only a
    // clean last error means the privilege is now enabled.
    enabled = os.GetLastError() == 0;
  }
  os.CloseHandle(token);
  return enabled;
}

bool HasSystemTimePrivilege() {
  return systemTimePrivilegeEnabled;
}

bool SetPCTime(const SystemTime& time) {
  if (!systemTimePrivilegeEnabled) return false;
  return Os().SetLocalTime(time);
}

TDateTime PCLocalNow() {
  return TrySystemTimeToDateTime(Os().GetLocalTime()).value_or(0.0);
}

void InitializePCTime() {
  systemTimePrivilegeEnabled = EnableSystemTimePrivilege();
}

}  // namespace hv
