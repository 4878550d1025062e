// The command interpreter: runs a program file's command list against the
// device, in order, keeping the job's status word and progress current, and
// stops at the first command that fails.
#pragma once

#include <cstdint>
#include <string>

#include "programming_job.h"

namespace tessaro {

// The status word's code of a failed command: -c, and for a code below 10
// (which the reader's own codes 1, 2, 3 and the end code 9 use, and which 0
// cannot negate) -(256 + c), so a failure never reads as progress.
int16_t FailedCommandStatus(int code);

// The job's command runner (SetCommandRunner).
bool RunProgramCommands(TProgrammingJob& job, uint16_t vid, uint16_t pid,
                        const std::string& serialNumber);

// What the interpreter keeps from one Programing call to the next: made
// when the library is loaded and gone when it is freed, so a module-data
// gate that one job closed stays closed for the next job of the same load.
// The run's own state (the commands still to skip among it) lives and ends
// with each run.
struct InterpreterLoad {
  bool PathBDActive = true;
};
// The load's one object, which each run the job starts works with.
InterpreterLoad& CurrentLoad();
// Back to the state of a freshly loaded library.
void ResetLoad();

}  // namespace tessaro
