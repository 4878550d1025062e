#include "device/command_line.h"

#include <algorithm>
#include <cctype>

#include "environment/log_writer.h"

std::atomic<bool> automaticUpdate{false};
std::atomic<bool> stringTrace{false};

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine parsed;
  for (std::string a : args) {
    std::transform(a.begin(), a.end(), a.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (a == "-d1") {
      parsed.trace = 1;
      traceLevel = 1;
    } else if (a == "-d2" || a == "-d3" || a == "-d4" || a == "-d5") {
      parsed.trace = 2;
      traceLevel = 2;
    } else if (a == "-a") {
      parsed.automatic = true;
      automaticUpdate = true;
    } else if (a == "-s2p") {
      parsed.stringProtocolTrace = true;
      stringTrace = true;
    }
  }
  return parsed;
}
