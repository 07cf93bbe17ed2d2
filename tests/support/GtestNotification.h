// GoogleTest's Notification for the win32 thread model of MinGW, which has no std::mutex.
//
// GoogleTest uses it only for its own thread tests; ours run on one thread. Force-included
// into every target that links GoogleTest on Windows (CMakeLists.txt).
#pragma once

#ifdef __cplusplus
namespace testing::internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) {
    }
  }

 private:
  volatile bool notified_ = false;
};

}  // namespace testing::internal
#endif
