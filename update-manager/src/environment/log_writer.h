// The writers of the debug log. The states' entries (LogStatus) and the trace
// entries of the device code (LogTrace) go to the same file from several
// threads; one busy flag serialises every writer so no entry is cut into
// another.
#pragma once

#include <atomic>
#include <string>

// 0 by default, 1 with "-d1", 2 with any of "-d2" to "-d5".
extern std::atomic<int> traceLevel;
// Set while one writer appends to a log file; taken by test-and-set.
extern std::atomic_flag traceLogBusy;

// The file LogTrace appends to; the Initialize state points it at the debug log.
void SetTraceLogPath(const std::string& path);
std::string TraceLogPath();

// Appends one trace entry exactly as given (no time stamp, no line break) to
// the trace log. A file error drops the entry.
void LogTrace(const std::string& text);

// Which trace level an entry needs: always, with -d1 and above, or only with
// -d2 to -d5.
enum TraceLevel : int { TRACE_ALWAYS = 0, TRACE_LEVEL_1 = 1, TRACE_LEVEL_2 = 2 };
// LogTrace when the command line's trace level asks for entries of `level`.
void LogTrace(TraceLevel level, const std::string& text);

// Holds back the trace entries the calling thread writes while it lives
// (other threads' entries are written as usual), for the caller to write or
// drop as one. One holder at a time.
class HeldTrace {
 public:
  HeldTrace();
  ~HeldTrace();
  HeldTrace(const HeldTrace&) = delete;
  HeldTrace& operator=(const HeldTrace&) = delete;

  // The entries held so far; the holder goes on holding.
  std::string Take();
};

// Entries written before the Initialize state has settled the debug log
// (the configuration reader's and the package check's): kept in memory and
// written by FlushStartupLog, so that they land in this run's log and not in
// the one an earlier run left behind.
void LogStartup(const std::string& text);
void FlushStartupLog();

// Holds the writers' busy flag while the logs are archived, so no entry is
// written into a log that is being copied or deleted.
class LogFileLock {
 public:
  LogFileLock();
  ~LogFileLock();
  LogFileLock(const LogFileLock&) = delete;
  LogFileLock& operator=(const LogFileLock&) = delete;
};

// Appends text to the file at path under the writers' busy flag: created when
// missing, never truncated, each "\n" stored as CR LF. False on a file error.
bool AppendLogText(const std::string& path, const std::string& text);
// AppendLogText for a caller that holds the LogFileLock already.
bool AppendLogTextLocked(const std::string& path, const std::string& text);
