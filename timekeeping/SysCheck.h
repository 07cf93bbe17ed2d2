// The platform level: which Windows the program runs on, sorted into -1..2.
#pragma once

#include <cstdint>

namespace hv {

// -1 Win32s or unknown, 0 the 95/98/Me family, 1 NT 4 or older (or a
// failed version query), 2 NT 5 (Windows 2000) or later.
int32_t GetPlatformLevel();

// The level computed once by the unit's initialisation.
int32_t PlatformLevel();

void InitializeSysCheck();

}  // namespace hv
