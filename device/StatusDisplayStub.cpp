// Placeholder until the status display lands.
#include "app/UnitMain.h"

namespace hv {

void TFormMain::UpdateTraySource(const TimeData&) {}

}  // namespace hv
