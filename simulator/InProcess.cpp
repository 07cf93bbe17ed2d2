// The twenty in-process exports, generated from the entry-point list, forwarding to one Receiver.
#include "simulator/InProcess.h"

#include <cstring>
#include <string>

namespace sim {
namespace {

Receiver* g_receiver = nullptr;

int32_t Forward(const char* name, void* arg) {
  if (!g_receiver) return 0;
  if (g_receiver->Faults(name, arg)) {
    throw SimulatedFault(std::string("access violation in ") + name + " (simulated)");
  }
  return g_receiver->Invoke(name, arg);
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
