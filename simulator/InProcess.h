// In-process stand-in for the receiver library: the twenty exports as plain function pointers.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "simulator/Receiver.h"

namespace sim {

// One exported entry point. `arg` is the buffer pointer, or nullptr for entry points without an
// argument; the result is the raw 32-bit result of the library.
using InProcessProc = int32_t (*)(void* arg);
struct InProcessExport {
  const char* name;  // exported name, leading underscore included ("_GetTimeData")
  InProcessProc proc;
};

// What an in-process export throws where the DLL would raise an access violation
// (Scenario::faults): the in-process stand-in of a library that faults.
class SimulatedFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes every export forward to `r` (not owned; nullptr detaches). While no receiver is set,
// every export answers 0. Scenario::fpu_mess has no effect in-process.
void SetInProcessReceiver(Receiver* r);

// All twenty exports, in binding order.
const std::vector<InProcessExport>& InProcessExports();

// The exports without the one called `name` (all twenty when no export has that name), for a
// library that lacks an entry point.
std::vector<InProcessExport> InProcessExportsWithout(const char* name);

}  // namespace sim
