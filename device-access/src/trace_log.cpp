#include "trace_log.h"

namespace corvel {

TraceLog::TraceLog() { InitializeCriticalSection(&lock_); }

TraceLog::~TraceLog() {
  Close();
  DeleteCriticalSection(&lock_);
}

bool TraceLog::Open(const char* path) {
  EnterCriticalSection(&lock_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path, "w+");
  bool open = file_ != nullptr;
  LeaveCriticalSection(&lock_);
  return open;
}

void TraceLog::Close() {
  EnterCriticalSection(&lock_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
  LeaveCriticalSection(&lock_);
}

bool TraceLog::IsOpen() {
  EnterCriticalSection(&lock_);
  bool open = file_ != nullptr;
  LeaveCriticalSection(&lock_);
  return open;
}

void TraceLog::Write(const char* text, bool flush) {
  EnterCriticalSection(&lock_);
  if (file_) {
    std::fputs(text, file_);
    if (flush) std::fflush(file_);
  }
  LeaveCriticalSection(&lock_);
}

}  // namespace corvel
