// Modal message boxes: the system's for OK boxes, an own dialog for the
// single Cancel button that the system's boxes do not offer.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "platform/win32/WinApi.h"

namespace hv {

// Shows a modal box owned by `owner` (may be null) with the icon of `kind`
// and returns the id of the button chosen (IDOK or IDCANCEL); 0 when the box
// could not be shown. Lines of `text` are separated by carriage returns.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                   MessageBoxKind kind, MessageBoxButtons buttons);

// The control id of the text in a message box, as the system's boxes have.
constexpr int kMessageTextId = 0xFFFF;

}  // namespace hv
