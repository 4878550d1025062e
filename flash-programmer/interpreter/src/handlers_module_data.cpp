// The module's own data kept across an update: the version gate that
// decides whether it is kept, reading it before and writing it back after,
// and the reboots through the supply that carries the module.
#include <cctype>

#include "command_handlers.h"
#include "lumetra/program_commands.h"
#include "tessaro/module_data.h"
#include "tessaro/supply_modules.h"

namespace tessaro {
namespace {

constexpr uint16_t kReadyEvent = 0x6020;
constexpr uint16_t kStornoEvent = 0x6F02;
constexpr int32_t kReadyWaitMs = 60000;
constexpr int kWriteAttempts = 10;
constexpr int kWriteRetries = 3;
constexpr int kSupplyRebootRounds = 3;

// The gate's check of the device's version against the file's limit.
bool CheckVersionLimit(RunContext& run, bool boxes) {
  std::string text;
  try {
    int code = boxes ? lm::cmd::PathTR410BD : lm::cmd::PathTR410TestBD;
    bool& active = run.load.PathBDActive;
    active = FirmwareVersionBelow(run.Device(code), run.header.pathVersion, run.log(),
                                  run.transfer(), &text);
    if (boxes && !active)
      run.Box(FormatText(std::string(kBoxHeadFor) +
                             "Off limits vesion is less then FW version.Pleasse, get on to "
                             "support\r\nMsg for sup.: QV PathTR410.1 \"%s\"",
                         {text}));
    return boxes ? active : true;
  } catch (const std::exception& e) {
    // Any error of the check, a device's or a missing connection's, is
    // the check's failure: the log and the user are told what it was.
    run.Log("  exception \"%s\", error => cannot to finish command", {e.what()});
    if (boxes)
      run.Box(FormatText(std::string(kBoxHeadFor) +
                             "Exeption on reading version off limits.Pleasse, try new upload, if "
                             "will result same then get on to support\r\nMsg for sup.: QV "
                             "PathTR410.3 \"%s\"",
                         {e.what()}));
    return false;
  }
}

// PathTR410_BD (with its boxes) and PathTR410test_BD (without).
bool VersionGate(RunContext& run, bool boxes) {
  bool result = false;
  if (run.header.pathFlag) {
    result = CheckVersionLimit(run, boxes);
  } else if (boxes) {
    run.Box(FormatText(std::string(kBoxHeadFor) +
                           "Is use path command, but is not writen version off limits.Pleasse, "
                           "get on to support\r\nMsg for sup.: QV PathTR410.2 \"%s\"",
                       {std::string()}));
  } else {
    run.load.PathBDActive = false;
  }
  run.Log("  Set PathTR410BD on \"%s\"", {run.load.PathBDActive ? "TRUE" : "FALSE"});
  return result;
}

void AfterSupplyReboot(RunContext& run) {
  run.Log("  Device succesfully reboot via PSs, now will wait 1s");
  WaitLettingMessagesThrough(1000);
  if (run.connection && run.connection->SerialNumber)
    run.wanted.serial = run.connection->SerialNumber;
  run.psConnection.reset();
  std::string lower = run.wanted.serial;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  run.safeMode = lower.find("safe") != std::string::npos;
}

}  // namespace

bool PathTR410BD(RunContext& run) { return VersionGate(run, true); }

bool PathTR410TestBD(RunContext& run) { return VersionGate(run, false); }

bool TR410ReadBD(RunContext& run) {
  if (!run.load.PathBDActive) {
    run.Log("  Skip TR410_Read_BD");
    return true;
  }
  run.Device(lm::cmd::TR410ReadBD);
  return ReadModuleData(run.connection, run.control, run.view.Showing());
}

bool RebootViaPS(RunContext& run) {
  if (!run.load.PathBDActive) {
    run.Log("  Skip RebootViaPS");
    return true;
  }
  if (!RebootViaPs(run.wanted, true, run.connection, run.control, run.psConnection)) return false;
  run.Log("  Device succesfully reboot, now will wait 1s");
  WaitLettingMessagesThrough(1000);
  return true;
}

bool SupplyReboot(RunContext& run, const DeviceIdentity& who, bool required, bool userToo) {
  if (IntelligentRebootViaPs(who, required, run.connection, run.control, run.psConnection) ||
      RebootViaPs(run.wanted, required, run.connection, run.control, run.psConnection)) {
    AfterSupplyReboot(run);
    return true;
  }
  return userToo &&
         UserPowerCycle(run.wanted, run.connection, run.control, true, run.safeMode, 100);
}

// ---- TR410_Write_BD ----

namespace {

// The module's serial number as the supply's module table names it; -1
// (none is written) when the supply is missing, too old or names none.
int32_t SerialFromSupply(RunContext& run) {
  run.Log(" %s, was%s found PowerSupply (%s) of device via rebooting",
          {"Error", run.psConnection ? "" : " not", ADevToStr(run.psConnection.get(), true)});
  if (!run.psConnection) return -1;
  run.Log("  Try read from PS serial number of TR410");
  // The supply's own version, apart from the module's that the version commands use.
  FirmwareVersion ps;
  bool read = ReadFirmwareVersion(run.psConnection.get(), ps, false, run.log(), run.transfer());
  bool supported = read && PsVersionSupported(ps.major, ps.minor);
  run.Log(" %s, FW version (v%d.%d) of PS %s support the function (0.7 =< Sup.Ver.)",
          {supported ? "OK" : "Error", ps.major, ps.minor, supported ? "" : " not"});
  if (!supported) return -1;
  int32_t found = -1;
  EventLines lines = run.control.Lines();
  bool serialFound = FindModuleSerial(run.connection->VID, run.connection->PID,
                                      run.psConnection.get(), &lines, run.transfer(), found);
  run.Log(" %s, was %s found in Baugr.Data serial number for TR410: %s.",
          {serialFound ? "OK" : "Error", serialFound ? "" : "not",
           serialFound ? FormatText("%d", {found}) : std::string("nil")});
  return serialFound ? found : -1;
}

// Writes the data back, a failed write retried after 3 s. A write that
// succeeds on a retry goes on as written: a device that alternates failure
// and success cannot keep the attempt going forever.
bool WriteWithRetries(RunContext& run, bool show, int32_t serial) {
  bool written = WriteModuleData(run.connection, run.control, show, serial);
  for (int retry = 0; !written && retry < kWriteRetries; ++retry) {
    WaitWithProgress(3000, 100, &run.events);
    run.Log("  Error in Write BD, will wait 3s and then try TR410_Write_BD again");
    written = WriteModuleData(run.connection, run.control, show, serial);
  }
  return written;
}

// The module's reboot after the write: by its own request, else through
// its supply in up to three rounds.
bool RebootAfterWrite(RunContext& run) {
  run.Log("  Is possible that device (%s) has now a new serial number, I try find it",
          {ADevToStr(run.connection.get(), true)});
  bool refound = ReopenByIdentity(run.connection, run.control, 100);
  run.Log("   %s, self finding (%s).",
          {refound ? "OK" : "ERROR", ADevToStr(run.connection.get(), true)});
  DeviceIdentity device = run.connection ? IdentityOf(*run.connection) : run.wanted;
  if (RebootDevice(device, run.connection, run.control, true)) return true;
  for (int m = 1; m <= kSupplyRebootRounds; ++m) {
    try {
      // With no connection left (the failed reboot freed it) there is
      // nothing to find again: the line must not repeat an earlier find.
      refound = run.connection && ReopenByIdentity(run.connection, run.control, 100);
      run.Log("  %s, self finding (%s).",
              {refound ? "OK" : "ERROR", ADevToStr(run.connection.get(), true)});
      run.Log("  %d. Try reboot via PS in Write_DB", {m});
      if (RebootViaPs(device, true, run.connection, run.control, run.psConnection)) {
        run.Log("  succesfully, %d. Try reboot via PS in Write_DB", {m});
        return true;
      }
    } catch (const std::exception&) {
      run.Log("  exception, %d. Try reboot via PS in Write_DB", {m});
    }
  }
  return false;
}

int WaitForReady(RunContext& run, bool bound, bool show) {
  return WaitOnIrptCommand(run.connection, run.control, kReadyEvent, kStornoEvent, kReadyWaitMs,
                           "DEVICE READY", "BAD BLOCK OF BAUGR.DATA", bound, show);
}

enum class Attempt { kDone, kFailed, kAgain };

// One attempt: write, reboot, and the module's word on its data.
Attempt WriteAttempt(RunContext& run, int n, bool show, int32_t serial) {
  run.Log("  %d. ********** Try write DB and test its right **********", {n});
  if (!WriteWithRetries(run, show, serial) || !RebootAfterWrite(run)) return Attempt::kFailed;
  run.Log("  Device succesfully reboot ...");
  int result = WaitForReady(run, true, show);
  if (result == kIrptStorno) {
    run.Log("  Wait on Irpt: BAD");
    return Attempt::kAgain;
  }
  if (result != kIrptReady) {
    run.Log("  Wait on Irpt: ERROR");
    return Attempt::kFailed;
  }
  run.Log("  Wait on Irpt: OK");
  run.Log("  Try clear files with Baugr.Data ... ");
  if (!ClearModuleData(run.connection, run.control, show)) return Attempt::kFailed;
  run.Log("  Files with Baugr.Data are successfully cleared.");
  return Attempt::kDone;
}

}  // namespace

bool TR410WriteBD(RunContext& run) {
  if (!run.load.PathBDActive) {
    run.Log("  Skip TR410_Write_BD");
    return true;
  }
  run.Device(lm::cmd::TR410WriteBD);
  int32_t serial = SerialFromSupply(run);  // none keeps the module's serial number
  bool show = run.view.Showing();
  if (WaitForReady(run, false, show) != kIrptReady) return false;
  for (int n = 1; n <= kWriteAttempts; ++n) {
    Attempt attempt = WriteAttempt(run, n, show, serial);
    if (attempt != Attempt::kAgain) return attempt == Attempt::kDone;
  }
  return false;
}

}  // namespace tessaro
