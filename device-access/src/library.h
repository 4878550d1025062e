// The library's global state and its start and end (LmLibInit, LmLibExit).
#pragma once

#include <windows.h>

#include "change_watcher.h"
#include "lumetra/sync.h"
#include "trace_log.h"

namespace corvel {

class Library {
 public:
  Library() = default;
  ~Library() = default;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Sets up what it can, in order, and stops at the first failure; what was
  // set up before stays. A second start without an end does nothing.
  void Init();
  // Undoes what Init set up.
  void Exit();

  // The pause between two bulk reads that missed the wanted packet, in ms.
  DWORD SnoozeTimer() const { return snoozeTimer_; }
  // The cross-process mutex "CorvelDll" (null before Init or when it failed).
  HANDLE Mutex() const { return mutex_; }
  TraceLog& Log() { return log_; }
  // Serialises reads of the interrupt pipe of all sessions of the process.
  lm::CriticalSection& EventPipeLock() { return eventPipeLock_; }

 private:
  bool initialised_ = false;
  HANDLE mutex_ = nullptr;
  DWORD snoozeTimer_ = 1;
  TraceLog log_;
  ChangeWatcher watcher_;
  lm::CriticalSection eventPipeLock_;
};

// The process's one library state.
Library& TheLibrary();

// SnoozeTimer from the local-machine key "SOFTWARE\Vandrel\Corvel" when it
// holds a 4-byte value, else fallback.
DWORD ReadSnoozeTimer(DWORD fallback);

}  // namespace corvel
