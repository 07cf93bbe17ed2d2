// The tray icon: adding, changing and removing it through the shell.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace hv {

constexpr uint32_t kNimAdd = 0;
constexpr uint32_t kNimModify = 1;
constexpr uint32_t kNimDelete = 2;
constexpr uint32_t kNifMessage = 1;
constexpr uint32_t kNifIcon = 2;
constexpr uint32_t kNifTip = 4;

// The notification record for each operation, field by field: the window,
// the id zero-extended; add: flags 7, callback message 2024, icon
// and tip; modify: flags 6, icon and tip; delete: nothing more. Fields an
// operation does not use are zero. The tip is copied whole (the callers
// keep it to 63 characters; a longer one is cut to 63).
NotifyIconRecord AddRecord(HandleValue window, uint16_t id, HandleValue icon, const std::string& tip);
NotifyIconRecord ModifyRecord(HandleValue window, uint16_t id, HandleValue icon, const std::string& tip);
NotifyIconRecord DeleteRecord(HandleValue window, uint16_t id);

// Each answers whether the shell reported success.
bool AddTrayIcon(HandleValue window, uint16_t id, HandleValue icon, const std::string& tip);
bool ModifyTrayIcon(HandleValue window, uint16_t id, HandleValue icon, const std::string& tip);
bool DeleteTrayIcon(HandleValue window, uint16_t id);

}  // namespace hv
