// The commands on the host's side: the waits, the library's log file and
// the description of the system the update runs on.
#include "command_handlers.h"
#include "loging.h"
#include "registry_dump.h"
#include "tessaro/utilities.h"

namespace tessaro {

bool Wait1000ms(RunContext& run) {
  WaitWithProgress(1000, 100, &run.events);
  return true;
}

bool Wait500ms(RunContext& run) {
  WaitWithProgress(500, 100, &run.events);
  return true;
}

bool Wait100ms(RunContext& run) {
  WaitWithProgress(100, 100, &run.events);
  return true;
}

bool DeleteLogFile(RunContext& run) {
  TLoging* logger = GlobalLogger();
  std::string path = logger ? logger->MainLogPath() : "";
  if (logger && logger->DeleteLog()) {
    run.Log("  was succesfully delete LOG file \"%s\"", {path});
    return true;
  }
  run.Log("  warning, cannot delete LOG file \"%s\"", {path});
  std::string own = ProgramFolder() + "Tessaro.log";
  if (!FileExists(own)) {
    run.Log("  ok, cannot delete \"%s\", because the file don't exists.", {own});
    return true;
  }
  if (DeleteFileA(own.c_str())) {
    run.Log("  ok, deleted LOG file \"%s\"", {own});
    return true;
  }
  run.Log("  error, cannot delete LOG file \"%s\"", {own});
  return false;
}

bool DontCreateLogFile(RunContext& run) {
  if (TLoging* logger = GlobalLogger()) logger->SetMainLogOn(false);
  run.Log("  was set DontCreate LOG file for Loging.");
  return true;
}

bool CreateLogFile(RunContext& run) {
  if (TLoging* logger = GlobalLogger()) logger->SetMainLogOn(true);
  run.Log("  was set Create LOG file for Loging.");
  return true;
}

bool GetInfo(RunContext& run) {
  run.Log("  --- description start OPER.SYSTEM ---");
  std::string text = WindowsVersionText(), line;
  for (char c : text + "\r") {
    if (c == '\n') continue;
    if (c != '\r') {
      line += c;
      continue;
    }
    if (!line.empty()) run.Log("    %s", {line});
    line.clear();
  }
  try {
    FindInstalledUsbDrivers(run.header.vid, run.header.pid, run.runLog);
  } catch (...) {
    // Its result and its errors do not decide the command.
  }
  run.Log("  --------- description end -----------");
  return true;
}

// The two reserved codes do nothing and succeed.
bool Reserved(RunContext&) { return true; }

// The codes without an action (0 to 9, 17 and above 52) fail.
bool NoAction(RunContext&) { return false; }

}  // namespace tessaro
