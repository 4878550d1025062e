// The command interpreter: runs a program file's command list against the
// device, in order, keeping the job's status word and progress current, and
// stops at the first command that fails.
#pragma once

#include <cstdint>
#include <string>

#include "programming_job.h"
#include "tessaro/interpreter_load.h"

namespace tessaro {

// The status word's code of a failed command: -c, and for a code below 10
// (which the reader's own codes 1, 2, 3 and the end code 9 use, and which 0
// cannot negate) -(256 + c), so a failure never reads as progress.
int16_t FailedCommandStatus(int code);

// The job's command runner (SetCommandRunner).
bool RunProgramCommands(TProgrammingJob& job, uint16_t vid, uint16_t pid,
                        const std::string& serialNumber);

}  // namespace tessaro
