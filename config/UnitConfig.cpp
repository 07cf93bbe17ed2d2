// The settings records and their values before loading.
#include "config/UnitConfig.h"

namespace hv {

TConfig Config;
TSerialization Serialization;

void InitializeUnitConfig() {
  Config = TConfig{};
  Serialization = TSerialization{};
  Serialization.x = 10;
  Serialization.y = 10;
  Config.x = 10;
  Config.y = 10;
}

}  // namespace hv
