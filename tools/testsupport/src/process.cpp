#include "testsupport/process.h"

#include <vector>

namespace testsupport {
namespace {

// This process's environment with `extra` laid over it, in the block form
// CreateProcess wants (sorted is not required for the ANSI block).
std::vector<char> EnvironmentBlock(const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> vars;
  char* block = GetEnvironmentStringsA();
  for (const char* p = block; *p; p += strlen(p) + 1) {
    std::string entry = p;
    size_t eq = entry.find('=', 1);
    if (eq == std::string::npos) continue;
    vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  FreeEnvironmentStringsA(block);
  for (const auto& [k, v] : extra) {
    if (v.empty())
      vars.erase(k);
    else
      vars[k] = v;
  }
  std::vector<char> out;
  for (const auto& [k, v] : vars) {
    std::string entry = k + "=" + v;
    out.insert(out.end(), entry.begin(), entry.end());
    out.push_back('\0');
  }
  out.push_back('\0');
  return out;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (info_.hProcess) CloseHandle(info_.hProcess);
  if (info_.hThread) CloseHandle(info_.hThread);
}

bool ChildProcess::Start(const std::string& exe, const std::string& args,
                         const std::string& workDir,
                         const std::map<std::string, std::string>& env) {
  std::string commandLine = "\"" + exe + "\"";
  if (!args.empty()) commandLine += " " + args;
  std::string folder = workDir;
  if (folder.empty()) {
    size_t slash = exe.find_last_of('\\');
    if (slash != std::string::npos) folder = exe.substr(0, slash);
  }
  std::vector<char> envBlock = EnvironmentBlock(env);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  // Under Wine on a loaded machine a new process now and then dies in the
  // loader's start-up, before its program runs, and CreateProcess fails
  // with ERROR_INTERNAL_ERROR: the program did not run, so the start is
  // tried again.
  constexpr int kStartTries = 3;
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, envBlock.data(),
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info_))
      return true;
    error_ = GetLastError();
    if (error_ != ERROR_INTERNAL_ERROR || attempt == kStartTries) return false;
  }
}

bool ChildProcess::Running() const {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::Wait(DWORD timeoutMs) {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = ~0u;
  if (info_.hProcess) GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void ChildProcess::Kill() {
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 10000);
  }
}

DWORD RunProgram(const std::string& exe, const std::string& args, const std::string& workDir,
                 const std::map<std::string, std::string>& env, DWORD timeoutMs) {
  ChildProcess child;
  if (!child.Start(exe, args, workDir, env)) return ~0u;
  if (!child.Wait(timeoutMs)) {
    child.Kill();
    return ~0u;
  }
  return child.ExitCode();
}

}  // namespace testsupport
