// The package check: the outside checker romtest, lying in the application
// folder, judges the update package before Kestor reads its configuration.
#pragma once

#include <functional>
#include <string>

namespace kestor {

// Receives the check's trace entries (each ends with "\n").
using PackageCheckLog = std::function<void(const std::string& entry)>;

// Starts `applicationFolder` + "romtest.exe" (folder ending with "\") hidden,
// with the configuration file's path as its argument, both quoted:
//   "<folder>romtest.exe" "<folder>configfiles\kest.ini"
// and waits for its end, polling every 500 ms of the port's clock while it
// drains both output pipes, so a talkative checker cannot stall. True when the
// first 4096 bytes of its standard output begin with a number other than 0.
// A checker that is missing or cannot start gives false. `log` may be empty.
bool CheckPackage(const std::string& applicationFolder, const PackageCheckLog& log = {});

// The command line CheckPackage starts romtest with.
std::string RomtestCommandLine(const std::string& applicationFolder);

}  // namespace kestor
