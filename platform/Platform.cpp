// The installed platform.
#include "platform/Platform.h"

#include <cstdlib>

namespace hv {

namespace {
Platform* installed = nullptr;
}

Platform& Os() {
  if (!installed) std::abort();  // a unit ran before the program installed its platform
  return *installed;
}

void InstallPlatform(Platform* platform) {
  installed = platform;
}

}  // namespace hv
