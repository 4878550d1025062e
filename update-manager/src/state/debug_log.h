// The life of the debug log: the log an earlier run left is carried into the
// update log at start, each run begins with a header, and the Exit state
// carries the run's log into the update log. Every run's log reaches the
// update log exactly once.
#pragma once

#include <string>

class SystemEnvironment;

// A debug log left by an earlier run: one that ends with "Updater Closed!"
// (any case, trailing line breaks aside) was archived by its own Exit state
// and is deleted; any other is appended to the update log and deleted (false).
// One the update log cannot take is kept, this run's log going on behind a
// line that says so (false).
bool RecoverDebugLog(const SystemEnvironment& environment);

// The header of the run: release, package, operating system, USB state, date.
std::string LogHeaderText(const SystemEnvironment& environment, const std::string& version,
                          const std::string& suppDevice, bool hostFound);
void WriteLogHeader(const SystemEnvironment& environment, const std::string& version,
                    const std::string& suppDevice, bool hostFound);

// Carries the run's debug log into the update log behind three line breaks;
// a log the update log cannot take says so at its end, for the next start.
// The first clean run (no update log yet, no error) leaves its log for the
// next start and only closes it with "Update finished!" or, when nothing
// was installed, "No update installed!". False without a debug log.
bool CloseDebugLog(const SystemEnvironment& environment, int errorIndex, bool updateInstalled);
