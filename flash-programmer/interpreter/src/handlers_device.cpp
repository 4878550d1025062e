// The commands that find, open, reboot and power-cycle the device.
#include "command_handlers.h"
#include "tessaro/device_control.h"

namespace tessaro {

bool OpenDevice(RunContext& run) { return OpenDevice(run.wanted, run.connection, run.control); }

bool CloseDevice(RunContext& run) { return CloseDevice(run.connection, run.control); }

bool RestartDeviceToSafe(RunContext& run) {
  run.connection.reset();
  if (!RebootToMode(run.wanted, run.safe, true, 1000, run.control, run.connection)) return false;
  run.safeMode = true;
  return true;
}

bool RestartDeviceToFW(RunContext& run) {
  run.connection.reset();
  if (!RebootToMode(run.safe, run.firmware, false, 1000, run.control, run.connection)) return false;
  run.safeMode = false;
  return true;
}

bool TestOnOne(RunContext& run) {
  const ProgramFileHeader& file = run.header;
  bool same = run.vid == file.vid && run.pid == file.pid;
  run.Log(
      "  Wanted param.: VID:0x%4.4X,PID:0x%4.4X \t%s\t Param. in BinaryFile: "
      "VID:0x%4.4X,PID:0x%4.4X",
      {run.vid, run.pid, same ? "=" : "<>", file.vid, file.pid});
  return same && CheckDeviceUnique(run.vid, run.pid, run.control);
}

namespace {

bool RebootTestAfter(RunContext& run, int32_t settleMs) {
  run.wanted = run.Wanted();
  run.connection.reset();
  return RebootTest(run.wanted, run.safe, run.firmware, settleMs, run.control);
}

}  // namespace

bool RebootTest(RunContext& run) { return RebootTestAfter(run, 0); }

bool RebootTestWith1sPause(RunContext& run) { return RebootTestAfter(run, 1000); }

bool TestOnSafeMode(RunContext& run) {
  if (!SerialSaysSafe(run.serial)) {
    run.Log("  OK, TestOnSafeMode. Device isn't in safe mode.");
    return true;
  }
  int answer = run.Ask(
      "Device is in SAFE mode.\r\nIf will continue than will skip same steps "
      "(RebootTest,VersionTest,SetMarker,RebootToSafe).\r\nDo you want stop?",
      MB_YESNO | MB_ICONWARNING);
  if (answer == IDYES) return false;
  if (answer == IDNO) {
    run.safeMode = true;
    run.safe = run.Wanted();
    // The firmware names itself by the safe serial without its "safe":
    // without it the reboot back into the firmware could find nothing.
    run.firmware = {run.vid, run.pid, "", "", FirmwareSerialText(run.serial)};
    run.Log("  OK, TestOnSafeMode. Device is in safe mode, will skip same commands...");
  }
  return true;
}

bool PathPsPid9IsValidToo(RunContext&) {
  SetPsPidAlias(true);
  return true;
}

bool InteligRestartDeviceToFW(RunContext& run) {
  run.connection.reset();
  if (RebootToMode(run.safe, run.firmware, false, 1000, run.control, run.connection)) return true;
  return SupplyReboot(run, run.safe, false, true);
}

bool InteligRebootViaPS(RunContext& run) { return SupplyReboot(run, run.wanted, true, true); }

bool UserSwichtOffAndSwitchOn(RunContext& run) {
  return UserPowerCycle(run.wanted, run.connection, run.control, true, run.safeMode, 100);
}

}  // namespace tessaro
