#include "environment/log_writer.h"

#include <windows.h>

#include "hwport/clock.h"
#include "lumetra/sync.h"

std::atomic<int> traceLevel{0};
std::atomic_flag traceLogBusy = ATOMIC_FLAG_INIT;

namespace {

lm::CriticalSection pathMutex;
std::string traceLogPath;

lm::CriticalSection heldMutex;
DWORD heldThread = 0;
std::string heldText;

lm::CriticalSection startupMutex;
std::string startupLog;
// More than this is not kept before the debug log is settled.
constexpr size_t kStartupLogLimit = 64 * 1024;

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

void SetTraceLogPath(const std::string& path) {
  lm::Lock lock(pathMutex);
  traceLogPath = path;
}

std::string TraceLogPath() {
  lm::Lock lock(pathMutex);
  return traceLogPath;
}

// Other writers poll the busy flag every 10 ms.
LogFileLock::LogFileLock() {
  while (traceLogBusy.test_and_set(std::memory_order_acquire)) hwport::Sleep(10);
}

LogFileLock::~LogFileLock() { traceLogBusy.clear(std::memory_order_release); }

bool AppendLogText(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  LogFileLock busy;
  return AppendLogTextLocked(path, text);
}

bool AppendLogTextLocked(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  const std::string bytes = WithCrLf(text);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER;
  DWORD written = 0;
  if (ok && !bytes.empty()) {
    ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
  }
  CloseHandle(file);
  return ok;
}

void LogTrace(const std::string& text) {
  {
    lm::Lock lock(heldMutex);
    if (heldThread != 0 && heldThread == GetCurrentThreadId()) {
      heldText += text;
      return;
    }
  }
  AppendLogText(TraceLogPath(), text);
}

HeldTrace::HeldTrace() {
  lm::Lock lock(heldMutex);
  heldThread = GetCurrentThreadId();
  heldText.clear();
}

HeldTrace::~HeldTrace() {
  lm::Lock lock(heldMutex);
  heldThread = 0;
  heldText.clear();
}

std::string HeldTrace::Take() {
  lm::Lock lock(heldMutex);
  std::string text;
  text.swap(heldText);
  return text;
}

void LogTrace(TraceLevel level, const std::string& text) {
  if (traceLevel.load() >= level) LogTrace(text);
}

void LogStartup(const std::string& text) {
  lm::Lock lock(startupMutex);
  if (startupLog.size() + text.size() <= kStartupLogLimit) startupLog += text;
}

void FlushStartupLog() {
  std::string pending;
  {
    lm::Lock lock(startupMutex);
    pending.swap(startupLog);
  }
  if (!pending.empty()) LogTrace(pending);
}
