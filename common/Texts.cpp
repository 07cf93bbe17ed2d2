// Text lookup through the platform's string table.
#include "common/Texts.h"

#include "platform/Platform.h"

namespace hv {

std::string Text(TextId id) {
  return Os().LoadText(static_cast<uint32_t>(id));
}

std::string JoinLines(std::initializer_list<std::string> lines) {
  std::string joined;
  for (const std::string& line : lines) {
    if (&line != lines.begin()) joined += '\r';
    joined += line;
  }
  return joined;
}

}  // namespace hv
