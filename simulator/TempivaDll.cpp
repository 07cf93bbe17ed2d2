// Tempiva.dll from the simulator: the twenty exports over one Receiver on the real UTC clock.
//
// The scenario is the file named by TEMPIVA_SCENARIO, else Tempiva.ini beside this DLL, else the
// defaults; TEMPIVA_LOG, when set, names the call log and overrides the scenario's `log`. Both
// are read once, at the first call. The exported names come from a module-definition file that
// maps "_Name" to Tempiva_Name; TEMPIVA_CALL selects the calling convention.
//
// The scenario's `fault`, `fpu_mess` and `fpu_mess_load` are carried out here, as a foreign
// library would: a real access violation, and a floating-point control left changed by a call
// or by the DLL's start-up.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "simulator/Receiver.h"

#ifndef TEMPIVA_CALL
#define TEMPIVA_CALL __cdecl
#endif

namespace {

int64_t SystemUtcMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>((t.QuadPart - 116444736000000000ULL) / 10000);  // from 1601
}

// Value of an environment variable; empty when unset or too long.
std::string EnvVar(const char* name) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// "<folder of this DLL>\Tempiva.ini"; empty when the DLL's path cannot be found.
std::string IniBesideDll() {
  // The module that holds this function is the allocation its code lies in (Windows 2000 has
  // no GetModuleHandleEx).
  MEMORY_BASIC_INFORMATION memory{};
  if (!VirtualQuery(reinterpret_cast<const void*>(&IniBesideDll), &memory, sizeof memory)) {
    return {};
  }
  HMODULE self = static_cast<HMODULE>(memory.AllocationBase);
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string dll(path, n);
  return dll.substr(0, dll.find_last_of("\\/") + 1) + "Tempiva.ini";
}

// The scenario file: TEMPIVA_SCENARIO, else Tempiva.ini beside the DLL.
std::string ScenarioPath() {
  const std::string path = EnvVar("TEMPIVA_SCENARIO");
  return path.empty() ? IniBesideDll() : path;
}

std::unique_ptr<sim::Receiver> MakeReceiver() {
  const bool named = !EnvVar("TEMPIVA_SCENARIO").empty();
  const std::string path = ScenarioPath();
  sim::Scenario scenario;
  std::vector<std::string> warnings;
  const bool loaded = !path.empty() && sim::LoadScenarioFile(path, &scenario, &warnings);
  const std::string log = EnvVar("TEMPIVA_LOG");
  if (!log.empty()) scenario.log = log;
  auto receiver = std::make_unique<sim::Receiver>(SystemUtcMs, std::move(scenario));
  if (loaded) {
    receiver->Note("scenario " + path);
  } else {
    receiver->Note(named ? "scenario " + path + " not readable, using defaults"
                         : "no scenario, using defaults");
  }
  for (const std::string& w : warnings) receiver->Note(w);
  return receiver;
}

sim::Receiver& TheReceiver() {
  static std::unique_ptr<sim::Receiver> receiver = MakeReceiver();
  return *receiver;
}

// x87: invalid-operation, zero-divide and overflow exceptions unmasked, 53-bit precision;
// SSE: the same three unmasked.
void MessFloatingPoint() {
  uint16_t control;
  asm volatile("fnstcw %0" : "=m"(control));
  control = static_cast<uint16_t>((control & ~0x030Du) | 0x0200u);
  asm volatile("fldcw %0" : : "m"(control));
  if (IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) {
    uint32_t mxcsr;
    asm volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~(0x0080u | 0x0200u | 0x0400u);
    asm volatile("ldmxcsr %0" : : "m"(mxcsr));
  }
}

// A write through a null pointer the compiler cannot see.
[[noreturn]] void RaiseAccessViolation() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 0;
  std::abort();
}

int32_t Call(const char* name, void* arg) {
  sim::Receiver& receiver = TheReceiver();
  const bool mess = receiver.scenario().fpu_mess;
  if (receiver.Faults(name, arg)) {
    if (mess) MessFloatingPoint();
    RaiseAccessViolation();
  }
  const int32_t result = receiver.Invoke(name, arg);
  if (mess) MessFloatingPoint();
  return result;
}

}  // namespace

// A library's start-up code may change the floating-point control too.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    sim::Scenario scenario;
    const std::string path = ScenarioPath();
    if (!path.empty() && sim::LoadScenarioFile(path, &scenario) && scenario.fpu_mess_load)
      MessFloatingPoint();
  }
  return TRUE;
}

#define TEMPIVA_EXPORT_0(name)                      \
  extern "C" int32_t TEMPIVA_CALL Tempiva##name() { \
    return Call(#name, nullptr);                    \
  }
#define TEMPIVA_EXPORT_1(name)                               \
  extern "C" int32_t TEMPIVA_CALL Tempiva##name(void* arg) { \
    return Call(#name, arg);                                 \
  }
#define HV_ENTRY(name, takes_buffer) TEMPIVA_EXPORT_##takes_buffer(name)
#include "device/EntryPoints.def"
