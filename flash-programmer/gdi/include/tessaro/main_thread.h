// The library's main thread: reader threads hand each completed transfer to
// it and wait until it was handled. The main thread runs the handed-over
// work whenever it pumps window messages (a hidden window receives a wake-up
// message) or waits through the library's wait.
#pragma once

#include <windows.h>

#include <functional>

#include "lumetra/sync.h"

namespace tessaro {

// The module the library's code lies in.
HINSTANCE LibraryInstance();

class MainThreadSync {
 public:
  static MainThreadSync& Instance();

  // Makes the calling thread the library's main thread. Called by every
  // connection on the thread that makes it (the thread that runs the job).
  void BindMainThread();
  DWORD MainThreadId() const { return mainThread_; }
  // Destroys the hand-over window and unregisters its class (the library
  // is being freed); the next connection binds a main thread anew.
  void Release();
  // Releases the instance and frees it with its event and lock (the library
  // is being freed: each load would leave them behind otherwise).
  static void Free();

  // From any thread: runs `job` on the main thread and waits for it. On the
  // main thread itself the job runs at once. When `stop` is signalled, the
  // job is withdrawn unless the main thread runs it already (then it is
  // waited for), and false is returned.
  bool Run(const std::function<void()>& job, HANDLE stop);

  // Runs the jobs waiting for the main thread; only on the main thread.
  void CheckSynchronize();
  // Signalled while jobs wait.
  HANDLE WakeEvent() const { return wake_; }
  // How many jobs wait now.
  size_t Waiting();

 private:
  MainThreadSync();
  ~MainThreadSync();
  struct Job;
  // Each under the lock. Queue appends the job and gives the hand-over
  // window; Withdraw removes a queued job (false: the main thread has it);
  // TakeFirst removes the oldest job (null: none waits).
  HWND Queue(Job* job);
  bool Withdraw(Job* job);
  Job* TakeFirst();
  lm::CriticalSection lock_;
  Job* first_ = nullptr;
  Job* last_ = nullptr;
  HANDLE wake_;
  HWND window_ = nullptr;
  DWORD mainThread_ = 0;
};

// The library's wait: lets ms of the port's clock pass on the main thread
// while handed-over transfers and window messages are served. The library's
// utilities may install their own wait here.
using WaitFunction = void (*)(DWORD ms);
void SetWaitFunction(WaitFunction wait);
void LibraryWait(DWORD ms);
void PumpingWait(DWORD ms);  // the default

// The application's standard error display: an "Error" box asked through
// the library's events.
void ShowLibraryError(const char* text);

}  // namespace tessaro
