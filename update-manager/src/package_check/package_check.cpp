#include "package_check/package_check.h"

#include <windows.h>

#include <vector>

#include "hwport/clock.h"
#include "package_check/romtest_verdict.h"

namespace kestor {
namespace {

// Only the beginning of the standard output decides.
constexpr size_t kVerdictBytes = 4096;
constexpr DWORD kPollMs = 500;
// While waiting, the pipes are emptied this often, so that a checker writing
// more than a pipe holds is never blocked for long.
constexpr DWORD kDrainMs = 10;

void Log(const PackageCheckLog& log, const std::string& entry) {
  if (log) log(entry);
}

// One anonymous pipe whose write end the child inherits; the read end stays
// with Kestor alone, so it sees the end of the output when the child is gone.
struct OutputPipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;

  bool Create() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inherit, 0)) {
      read = write = nullptr;
      return false;
    }
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    return true;
  }
  void CloseWrite() {
    if (write) CloseHandle(write);
    write = nullptr;
  }
  ~OutputPipe() {
    CloseWrite();
    if (read) CloseHandle(read);
  }

  // Reads what the pipe holds now, keeping at most `limit` bytes in `kept`
  // (the rest is discarded). False once the pipe is broken (all writers gone).
  bool Drain(std::string* kept, size_t limit) {
    char buffer[4096];
    for (;;) {
      DWORD available = 0;
      if (!PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr)) return false;
      if (available == 0) return true;
      DWORD got = 0;
      DWORD want = available < sizeof buffer ? available : sizeof buffer;
      if (!ReadFile(read, buffer, want, &got, nullptr)) return false;
      if (kept && kept->size() < limit)
        kept->append(buffer, got < limit - kept->size() ? got : limit - kept->size());
    }
  }
};

}  // namespace

std::string RomtestCommandLine(const std::string& applicationFolder) {
  // Both paths quoted: the folder may hold blanks, and an unquoted program
  // path would let a file such as "C:\Program.exe" run in its place.
  return "\"" + applicationFolder + "romtest.exe\" \"" + applicationFolder +
         "configfiles\\kest.ini\"";
}

bool CheckPackage(const std::string& applicationFolder, const PackageCheckLog& log) {
  OutputPipe err, out;
  if (!err.Create() || !out.Create()) {
    MessageBoxA(nullptr, "couldnt create Pipes", "Kestor", MB_OK);
    Log(log, "Package check: no pipes for romtest\n");
    return false;
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  PROCESS_INFORMATION process{};
  std::string commandLine = RomtestCommandLine(applicationFolder);
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');
  const bool started = CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process) != FALSE;
  // Kestor's copies of the write ends go at once, so the pipes break when the
  // child ends.
  err.CloseWrite();
  out.CloseWrite();
  if (!started) {
    Log(log, "Package check: romtest could not be started (error " +
                 std::to_string(GetLastError()) + ")\n");
    return false;
  }

  std::string verdict;
  bool outOpen = true, errOpen = true;
  while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    for (DWORD slept = 0; slept < kPollMs; slept += kDrainMs) {
      if (outOpen) outOpen = out.Drain(&verdict, kVerdictBytes);
      if (errOpen) errOpen = err.Drain(nullptr, 0);
      hwport::Sleep(kDrainMs);
    }
  }
  // What the child wrote just before its end is still in the pipes.
  if (outOpen) out.Drain(&verdict, kVerdictBytes);
  if (errOpen) err.Drain(nullptr, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  const bool valid = RomtestAccepts(verdict);
  if (!valid) Log(log, "Package check: romtest rejected the package\n");
  return valid;
}

}  // namespace kestor
