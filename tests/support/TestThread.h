// A thread and a lock for the Windows tests, on the system's own calls: the win32 thread model
// of MinGW has no std::thread or std::mutex.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

namespace hv::test {

// Runs `body` on a thread of its own from construction on; Join waits for it (the destructor
// too, when not joined yet).
class TestThread {
 public:
  explicit TestThread(std::function<void()> body) : body_(std::move(body)) {
    handle_ = CreateThread(nullptr, 0, &TestThread::Run, this, 0, nullptr);
  }
  ~TestThread() { Join(); }
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  void Join() {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<TestThread*>(self)->body_();
    return 0;
  }

  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

// A critical section; Hold keeps it for the life of its scope.
class TestLock {
 public:
  TestLock() { InitializeCriticalSection(&section_); }
  ~TestLock() { DeleteCriticalSection(&section_); }
  TestLock(const TestLock&) = delete;
  TestLock& operator=(const TestLock&) = delete;

  class Hold {
   public:
    explicit Hold(TestLock& lock) : lock_(lock) { EnterCriticalSection(&lock_.section_); }
    ~Hold() { LeaveCriticalSection(&lock_.section_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    TestLock& lock_;
  };

 private:
  CRITICAL_SECTION section_;
};

}  // namespace hv::test
