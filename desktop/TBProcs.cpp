// Tray icon records and the shell calls.
#include "desktop/TBProcs.h"

#include <algorithm>

#include "app/ControlIds.h"

namespace hv {

namespace {

constexpr size_t kTipOffset = 24;
constexpr size_t kTipSize = 64;

void Put32(NotifyIconRecord& r, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) r[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

NotifyIconRecord Base(uint32_t window, uint16_t id) {
  NotifyIconRecord r{};
  Put32(r, 0, static_cast<uint32_t>(r.size()));  // cbSize
  Put32(r, 4, window);                           // hWnd
  Put32(r, 8, id);                               // uID
  return r;
}

void PutIconAndTip(NotifyIconRecord& r, uint32_t icon, const std::string& tip) {
  Put32(r, 20, icon);  // hIcon
  const size_t n = std::min(tip.size(), kTipSize - 1);
  std::copy_n(tip.begin(), n, r.begin() + kTipOffset);
  r[kTipOffset + n] = 0;
}

}  // namespace

NotifyIconRecord AddRecord(uint32_t window, uint16_t id, uint32_t icon, const std::string& tip) {
  NotifyIconRecord r = Base(window, id);
  Put32(r, 12, kNifMessage | kNifIcon | kNifTip);  // uFlags
  Put32(r, 16, kWmTrayIcon);                       // uCallbackMessage
  PutIconAndTip(r, icon, tip);
  return r;
}

NotifyIconRecord ModifyRecord(uint32_t window, uint16_t id, uint32_t icon, const std::string& tip) {
  NotifyIconRecord r = Base(window, id);
  Put32(r, 12, kNifIcon | kNifTip);
  PutIconAndTip(r, icon, tip);
  return r;
}

NotifyIconRecord DeleteRecord(uint32_t window, uint16_t id) {
  return Base(window, id);
}

bool AddTrayIcon(uint32_t window, uint16_t id, uint32_t icon, const std::string& tip) {
  return Os().ShellNotifyIcon(kNimAdd, AddRecord(window, id, icon, tip));
}

bool ModifyTrayIcon(uint32_t window, uint16_t id, uint32_t icon, const std::string& tip) {
  return Os().ShellNotifyIcon(kNimModify, ModifyRecord(window, id, icon, tip));
}

bool DeleteTrayIcon(uint32_t window, uint16_t id) {
  return Os().ShellNotifyIcon(kNimDelete, DeleteRecord(window, id));
}

}  // namespace hv
