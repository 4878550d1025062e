// One handler per command of a program file's list, named after the
// command. A handler does the command's own action and tells whether it
// succeeded; what the table's flags say (skipped in safe mode, a success
// fills the bar) the run does around it.
#pragma once

#include "run_context.h"

namespace tessaro {

using CommandHandler = bool (*)(RunContext& run);

struct CommandEntry {
  int code;
  CommandHandler handler;
  // The line a command skipped in safe mode logs (Tessaro's own texts).
  const char* skipText;
};

// The handler of `code`; codes without an action (0 to 9, 17, above 52) fail.
const CommandEntry& CommandFor(int code);

// Device and reboot commands.
bool OpenDevice(RunContext& run);
bool CloseDevice(RunContext& run);
bool RestartDeviceToSafe(RunContext& run);
bool RestartDeviceToFW(RunContext& run);
bool TestOnOne(RunContext& run);
bool RebootTest(RunContext& run);
bool RebootTestWith1sPause(RunContext& run);
bool TestOnSafeMode(RunContext& run);
bool PathPsPid9IsValidToo(RunContext& run);
bool InteligRestartDeviceToFW(RunContext& run);
bool InteligRebootViaPS(RunContext& run);
bool UserSwichtOffAndSwitchOn(RunContext& run);

// Flash and device-request commands.
bool FlashAutoselect(RunContext& run);
bool FlashEraseChip(RunContext& run);
bool FlashEraseSectors(RunContext& run);
bool FlashProgram(RunContext& run);
bool FlashVerify(RunContext& run);
bool SetMarker(RunContext& run);
bool ClearMarker(RunContext& run);
bool DisableAddressControl(RunContext& run);
bool VersionTest(RunContext& run);
bool GetStatus(RunContext& run);
bool CommandKill(RunContext& run);
bool SuspendTR410(RunContext& run);
bool GetDeviceVersion(RunContext& run);
bool IfVersionDoNextCmd(RunContext& run);
bool WaitForIdleOnTR410OrTR420(RunContext& run);

// The module's own data and the supply's reboots.
bool PathTR410BD(RunContext& run);
bool PathTR410TestBD(RunContext& run);
bool TR410ReadBD(RunContext& run);
bool TR410WriteBD(RunContext& run);
bool RebootViaPS(RunContext& run);
// The supply's reboots of InteligRestartDeviceToFW and InteligRebootViaPS,
// then the user's power cycle when `userToo`.
bool SupplyReboot(RunContext& run, const DeviceIdentity& who, bool required, bool userToo);

// The host's side: waits, the log file, the system's description.
bool Wait1000ms(RunContext& run);
bool Wait500ms(RunContext& run);
bool Wait100ms(RunContext& run);
bool DeleteLogFile(RunContext& run);
bool DontCreateLogFile(RunContext& run);
bool CreateLogFile(RunContext& run);
bool GetInfo(RunContext& run);
bool Reserved(RunContext& run);
bool NoAction(RunContext& run);

}  // namespace tessaro
