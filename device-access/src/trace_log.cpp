#include "trace_log.h"

namespace corvel {

TraceLog::~TraceLog() { Close(); }

bool TraceLog::Open(const char* path) {
  lm::Lock lock(lock_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path, "w+");
  return file_ != nullptr;
}

void TraceLog::Close() {
  lm::Lock lock(lock_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool TraceLog::IsOpen() {
  lm::Lock lock(lock_);
  return file_ != nullptr;
}

void TraceLog::Write(const char* text, bool flush) {
  lm::Lock lock(lock_);
  if (!file_) return;
  std::fputs(text, file_);
  if (flush) std::fflush(file_);
}

}  // namespace corvel
