// GoogleTest's own Notification is written over std::mutex and
// std::condition_variable, which the compilers' win32 thread model lacks;
// this one is a manual-reset event. Included ahead of every GoogleTest
// source and every test (LumetraTesting.cmake).
#pragma once

#include "lumetra/sync.h"

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { event_.Set(); }
  void WaitForNotification() { event_.Wait(INFINITE); }

 private:
  lm::Event event_;
};

}  // namespace internal
}  // namespace testing
