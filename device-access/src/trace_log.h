// The library's trace log "c:\Corvel.log": open while the library is
// initialised, written from the callers' threads and the change window's.
#pragma once

#include <windows.h>

#include <cstdio>

#include "lumetra/sync.h"

namespace corvel {

class TraceLog {
 public:
  TraceLog() = default;
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Opens the file emptied; false leaves the library without a trace log.
  bool Open(const char* path);
  void Close();
  bool IsOpen();

  // Writes the text as it is; with flush it reaches the file at once.
  // Nothing happens while the log is closed.
  void Write(const char* text, bool flush = false);

 private:
  lm::CriticalSection lock_;
  FILE* file_ = nullptr;
};

}  // namespace corvel
