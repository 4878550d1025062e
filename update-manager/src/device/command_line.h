// Kestor's command line: the switches the device updater reads as it is made.
#pragma once

#include <atomic>
#include <string>
#include <vector>

// "-a": an unattended run.
extern std::atomic<bool> automaticUpdate;
// "-s2p": the string protocol's trace.
extern std::atomic<bool> stringTrace;

// The switches one command line holds, as the updater keeps them for its own
// device code: "-d1" gives trace level 1, "-d2" to "-d5" give 2, "-a" an
// unattended run, "-s2p" the string protocol's trace.
struct CommandLine {
  int trace = 0;  // the trace level: 0, 1 or 2
  bool automatic = false;
  bool stringProtocolTrace = false;
};

// The switches of the program arguments: compared without case, unknown ones
// ignored, a later one overriding an earlier. Each switch given is also set
// in traceLevel, automaticUpdate or stringTrace for the program's other parts.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
