// Child processes for end-to-end tests: a deliverable started as a user would
// start it, with its own working folder and environment additions.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `exe` with the argument text `args` in folder `workDir` (empty: the
  // exe's folder); `env` adds or replaces variables of this process's
  // environment. False when CreateProcess fails (error in LastError()).
  bool Start(const std::string& exe, const std::string& args, const std::string& workDir = {},
             const std::map<std::string, std::string>& env = {});

  DWORD Pid() const { return info_.dwProcessId; }
  HANDLE Handle() const { return info_.hProcess; }
  bool Running() const;
  // Waits for the end; false after timeoutMs (the process is left running).
  bool Wait(DWORD timeoutMs = 60000);
  DWORD ExitCode() const;
  void Kill();
  DWORD LastError() const { return error_; }

 private:
  PROCESS_INFORMATION info_{};
  DWORD error_ = 0;
};

// Runs a program to its end and returns its exit code (or ~0u when it could
// not start or did not end within timeoutMs).
DWORD RunProgram(const std::string& exe, const std::string& args, const std::string& workDir = {},
                 const std::map<std::string, std::string>& env = {}, DWORD timeoutMs = 60000);

}  // namespace testsupport
