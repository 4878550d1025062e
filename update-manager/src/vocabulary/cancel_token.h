// The cancel state the dialog, the exit thread and the worker share, and the
// one wait that a cancel cuts short.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

enum CancelStateValue : int {
  CANCEL_STATE_RUNNING = 0,
  CANCEL_STATE_REQUESTED = 1,
  CANCEL_STATE_IDLE = 2,
  CANCEL_STATE_STOPPED = 3
};

class CancelToken {
 public:
  int State() const { return state_.load(); }
  void Set(int value) { state_ = value; }
  // Sets `value` only while the state is `expected`, in one step; false when
  // it was another.
  bool Replace(int expected, int value) { return state_.compare_exchange_strong(expected, value); }
  bool Requested() const { return State() == CANCEL_STATE_REQUESTED; }
  bool Running() const { return State() == CANCEL_STATE_RUNNING; }
  // Waits ms of the port's clock in steps of stepMs, so a cancel ends the
  // wait within one step; before each look for a cancel (one before
  // each step and one after the last) tick(k) runs, k the steps waited so
  // far. False when a cancel ended the wait.
  bool Wait(DWORD ms, DWORD stepMs, const std::function<void(DWORD)>& tick = nullptr) const;

 private:
  std::atomic<int> state_{CANCEL_STATE_IDLE};  // idle until an update starts
};
