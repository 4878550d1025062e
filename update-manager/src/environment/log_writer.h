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

// Appends text to the file at path under the writers' busy flag: created when
// missing, never truncated, each "\n" stored as CR LF. False on a file error.
bool AppendLogText(const std::string& path, const std::string& text);
