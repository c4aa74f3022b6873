// GoogleTest's Notification, for the win32 thread-model compilers, whose
// library has no std::mutex or std::condition_variable. Only GoogleTest's own
// thread helpers use it; every test here runs on one thread.
#pragma once

#include <atomic>
#include <thread>

namespace testing::internal {

class Notification {
public:
  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) {
      std::this_thread::yield();
    }
  }

private:
  std::atomic<bool> notified_{false};
};

} // namespace testing::internal
