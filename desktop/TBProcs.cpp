// Tray icon records and the shell calls.
#include "desktop/TBProcs.h"

#include <algorithm>

#include "app/ControlIds.h"

namespace hv {

namespace {

NotifyIconRecord Base(HandleValue window, uint16_t id) {
  NotifyIconRecord r;
  r.window = window;
  r.id = id;
  return r;
}

void PutIconAndTip(NotifyIconRecord& r, HandleValue icon, const std::string& tip) {
  r.icon = icon;
  const size_t n = std::min(tip.size(), r.tip.size() - 1);
  std::copy_n(tip.begin(), n, r.tip.begin());
  r.tip[n] = 0;
}

}  // namespace

NotifyIconRecord AddRecord(HandleValue window, uint16_t id, HandleValue icon,
                           const std::string& tip) {
  NotifyIconRecord r = Base(window, id);
  r.flags = kNifMessage | kNifIcon | kNifTip;
  r.callbackMessage = kWmTrayIcon;
  PutIconAndTip(r, icon, tip);
  return r;
}

NotifyIconRecord ModifyRecord(HandleValue window, uint16_t id, HandleValue icon,
                              const std::string& tip) {
  NotifyIconRecord r = Base(window, id);
  r.flags = kNifIcon | kNifTip;
  PutIconAndTip(r, icon, tip);
  return r;
}

NotifyIconRecord DeleteRecord(HandleValue window, uint16_t id) {
  return Base(window, id);
}

bool AddTrayIcon(HandleValue window, uint16_t id, HandleValue icon, const std::string& tip) {
  return Os().ShellNotifyIcon(kNimAdd, AddRecord(window, id, icon, tip));
}

bool ModifyTrayIcon(HandleValue window, uint16_t id, HandleValue icon, const std::string& tip) {
  return Os().ShellNotifyIcon(kNimModify, ModifyRecord(window, id, icon, tip));
}

bool DeleteTrayIcon(HandleValue window, uint16_t id) {
  return Os().ShellNotifyIcon(kNimDelete, DeleteRecord(window, id));
}

}  // namespace hv
