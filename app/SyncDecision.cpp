// The synchronisation decision: whether and how the PC clock is set from a
// received record.
#include "app/UnitMain.h"

namespace hv {

void TFormMain::SyncPCTime(const TimeData&, int32_t) {}

}  // namespace hv
