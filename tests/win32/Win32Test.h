// Helpers shared by the Win32 layer's tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win32/DynamicApi.h"
#include "platform/win32/Win32Platform.h"

namespace hv::test {

// The platform installed for the whole test process.
Win32Platform& Platform();

// The system functions of the run-time list as a test pretends them: `change`
// edits a copy of the table (a function set to null is missing, another put
// in its place stands in); the resolved table is back at the end of scope.
class PretendApi {
 public:
  explicit PretendApi(const std::function<void(dyn::Api&)>& change) {
    dyn::Api api = dyn::Functions();
    change(api);
    saved_ = dyn::ReplaceFunctions(api);
  }
  ~PretendApi() { dyn::ReplaceFunctions(saved_); }
  PretendApi(const PretendApi&) = delete;
  PretendApi& operator=(const PretendApi&) = delete;

 private:
  dyn::Api saved_;
};

// GetTokenInformation of an elevated process's token.
inline BOOL WINAPI ElevatedTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS kind, LPVOID info,
                                            DWORD size, PDWORD returned) {
  if (kind != TokenElevation || size < sizeof(TOKEN_ELEVATION)) return FALSE;
  static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = 1;
  *returned = sizeof(TOKEN_ELEVATION);
  return TRUE;
}

// The stack pointer at the point of the call.
inline uintptr_t StackPointer() {
  uintptr_t sp;
#if defined(__x86_64__)
  asm volatile("movq %%rsp, %0" : "=r"(sp));
#else
  asm volatile("movl %%esp, %0" : "=r"(sp));
#endif
  return sp;
}

// The x87 control word and the SSE control/status register at the point of
// the call.
inline uint16_t X87ControlWord() {
  uint16_t control;
  asm volatile("fnstcw %0" : "=m"(control));
  return control;
}
inline uint32_t Mxcsr() {
  uint32_t mxcsr;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  return mxcsr;
}

#if defined(__x86_64__)
inline int vectoredProbeReached = 0;

inline LONG CALLBACK VectoredProbe(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != 0xE0505242) return EXCEPTION_CONTINUE_SEARCH;
  ++vectoredProbeReached;
  return EXCEPTION_CONTINUE_EXECUTION;
}
#endif

// What an exception raised here meets first, to compare before and after a
// call that must leave no handler of its own behind. On i386 the head of the
// thread's handler chain (FS:[0]). x86-64 has no such chain; frame handlers
// come from the unwind data of the code on the stack, which a call cannot
// change, and the handlers a call could leave are vectored ones, which run
// before any other: 0 when a software exception raised here reaches a
// vectored handler added last, 1 when one added earlier took it.
inline uintptr_t HandlerChain() {
#if defined(__x86_64__)
  void* probe = AddVectoredExceptionHandler(0, VectoredProbe);
  vectoredProbeReached = 0;
  RaiseException(0xE0505242, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(probe);
  return vectoredProbeReached == 1 ? 0 : 1;
#else
  uintptr_t head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
#endif
}

// Seconds since an arbitrary start, from the performance counter.
inline double Now() {
  LARGE_INTEGER frequency, count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs the platform's message processing until `done` or `seconds` passed;
// true when `done` came true.
inline bool PumpUntil(const std::function<bool()>& done, double seconds = 5.0) {
  const double end = Now() + seconds;
  while (!done()) {
    if (Now() > end) return false;
    // A wake-up message, so that the wait below never outlasts the limit.
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    Platform().WaitAndProcessMessages();
    Sleep(1);
  }
  return true;
}

// Handles everything pending for about `seconds`.
inline void PumpFor(double seconds) {
  PumpUntil([] { return false; }, seconds);
}

struct DescendantSearch {
  int id;
  HWND found;
};

inline BOOL CALLBACK MatchDescendant(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<DescendantSearch*>(param);
  if (GetDlgCtrlID(hwnd) != search->id) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The window with this control id anywhere below `root`, as a probe from
// outside finds it; null when there is none.
inline HWND FindDescendant(HWND root, int id) {
  DescendantSearch search{id, nullptr};
  EnumChildWindows(root, MatchDescendant, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// WM_GETTEXT, as another process reads a window.
inline std::string WindowText(HWND hwnd) {
  char buffer[512] = {};
  SendMessageA(hwnd, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

// Destroys the form's windows when the test's form goes out of scope.
class Realized {
 public:
  explicit Realized(TForm& form) : form_(form) { Platform().RealizeForm(form); }
  ~Realized() { Platform().DestroyFormWindow(form_); }
  Realized(const Realized&) = delete;
  Realized& operator=(const Realized&) = delete;
  HWND Window() const { return static_cast<HWND>(form_.handle); }

 private:
  TForm& form_;
};

}  // namespace hv::test
