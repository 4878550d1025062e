// Kestor's command line: the switches the device updater reads as it is made.
#pragma once

#include <atomic>
#include <string>
#include <vector>

// "-a": an unattended run.
extern std::atomic<bool> automaticUpdate;
// "-s2p": the string protocol's trace.
extern std::atomic<bool> stringTrace;

// Sets traceLevel, automaticUpdate and stringTrace from the program arguments:
// compared without case, unknown ones ignored, a later one overriding an earlier.
void ParseCommandLine(const std::vector<std::string>& args);
