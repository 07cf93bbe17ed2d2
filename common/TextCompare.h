// Comparing texts without regard to the case of ASCII letters.
#pragma once

#include <string_view>

namespace hv {

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace hv
