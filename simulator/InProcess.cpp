// The twenty in-process exports, generated from the entry-point list, forwarding to one Receiver.
#include "simulator/InProcess.h"

#include <cstring>

namespace sim {
namespace {

Receiver* g_receiver = nullptr;

int32_t Forward(const char* name, void* arg) {
  return g_receiver ? g_receiver->Invoke(name, arg) : 0;
}

}  // namespace

void SetInProcessReceiver(Receiver* r) {
  g_receiver = r;
}

const std::vector<InProcessExport>& InProcessExports() {
  static const std::vector<InProcessExport> kExports = {
#define HV_ENTRY(name, takes_buffer) {#name, [](void* arg) { return Forward(#name, arg); }},
#include "device/EntryPoints.def"
  };
  return kExports;
}

std::vector<InProcessExport> InProcessExportsWithout(const char* name) {
  std::vector<InProcessExport> exports;
  for (const InProcessExport& e : InProcessExports()) {
    if (std::strcmp(e.name, name) != 0) exports.push_back(e);
  }
  return exports;
}

}  // namespace sim
