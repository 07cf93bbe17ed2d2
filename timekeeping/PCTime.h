// The one place that sets the PC clock, guarded by the system-time
// privilege enabled once at start.
#pragma once

#include "common/DateTime.h"
#include "platform/Platform.h"

namespace hv {

// Enables "SeSystemtimePrivilege" in the process token; true only when the
// token now holds it enabled. False outside the NT family, when any step
// fails, and when the account lacks the right (ERROR_NOT_ALL_ASSIGNED).
bool EnableSystemTimePrivilege();

// The outcome of the attempt made at start.
bool HasSystemTimePrivilege();

// Hands the local time to the system unchanged; true when the clock was
// set. False without calling the system when the privilege is missing.
bool SetPCTime(const SystemTime& time);

// The PC's local time as a date-time; 0.0 in the unlikely case that the
// system's record forms no date.
TDateTime PCLocalNow();

void InitializePCTime();

}  // namespace hv
