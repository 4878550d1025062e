// The worker side of the main dialog's messages: the one place outside the
// dialog that posts to it. It keeps the dialog window (null until the dialog
// gives it) and the progress bookkeeping of an update run, the step width
// and the step counter the total bar is measured in. The state thread, the
// device updater and the flash library's status poller all post through it.
#pragma once

#include <windows.h>

#include <atomic>

#include "vocabulary/step_codes.h"
#include "vocabulary/worker_messages.h"

class WorkerChannel {
 public:
  WorkerChannel() = default;
  virtual ~WorkerChannel() = default;
  WorkerChannel(const WorkerChannel&) = delete;
  WorkerChannel& operator=(const WorkerChannel&) = delete;

  // False for a null window.
  bool SetWindow(HWND window);
  HWND Window() const { return window_.load(); }

  // Posts one worker message; false when there is no window yet or the post
  // failed. Nothing is posted before the dialog gave its window.
  virtual bool Post(UINT message, WPARAM wParam, LPARAM lParam) const {
    return PostToWindow(message, wParam, lParam);
  }
  bool PostTexts() const { return Post(WM_UPDATE_TEXTS, 0, 0); }
  void PostTotalProgress(WPARAM value) const { Post(WM_UPDATE_TOTAL_PROGRESS, value, 100); }
  void PostStepProgress(WPARAM progress, LPARAM code) const {
    Post(WM_UPDATE_STEP_PROGRESS, progress, code);
  }
  // The flash library's status word as its poller reads it: the progress in
  // the high word, the status code in the low one.
  virtual void PostLibraryStatus(uint32_t status) const {
    Post(WM_UPDATE_STEP_PROGRESS, status >> 16, status & 0xFFFF);
  }
  void PostClose() const { Post(WM_UPDATE_CLOSE, 0, 0); }
  // The dialog's MMI response timer: armed for wallMs of the wall, or disarmed.
  void ArmMmiTimer(LPARAM wallMs) const { Post(WM_UPDATE_MMI_TIMER, 1, wallMs); }
  void DisarmMmiTimer() const { Post(WM_UPDATE_MMI_TIMER, 0, 0); }

  // The total bar's share of each of `steps` steps: 90 over the steps after
  // the first, the whole bar for a single one.
  void SetProgressStepWidth(int steps) { stepWidth_ = steps < 2 ? 100 : 90 / (steps - 1); }
  int ProgressStepWidth() const { return stepWidth_; }
  // A negative count is ignored.
  void SetStepCounter(int n) {
    if (n >= 0) stepCounter_ = n;
  }
  void IncrementStepCounter() { ++stepCounter_; }
  int StepCounter() const { return stepCounter_; }

 protected:
  // The post to the window itself, for a channel that keeps what goes
  // through it.
  bool PostToWindow(UINT message, WPARAM wParam, LPARAM lParam) const;

 private:
  std::atomic<HWND> window_{nullptr};
  std::atomic<int> stepWidth_{0};
  std::atomic<int> stepCounter_{0};
};
