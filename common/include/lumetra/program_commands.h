// The command vocabulary of a program file, once for both programs: Tessaro
// runs a list of these codes and logs each by its name; Kestor shows the
// status word's code in its trace log and under the step bar (the English
// default, which a language file may replace). Plain C++, free of Win32.
//
// The texts stay as both programs have always shown them, spacing and
// spelling included: the two "reserved" rows share a name, and the codes
// 1, 2 and 9 are steps of the job rather than commands of the list, with
// Kestor's own texts.
#pragma once

#include <cstdint>
#include <string>

namespace lm {

// What a command does besides its own action, for the interpreter's table.
enum ProgramCommandFlag : unsigned {
  kCommandPlain = 0,
  kCommandTouchesFlash = 1u << 0,       // erases, programs or verifies the flash
  kCommandSkippedInSafeMode = 1u << 1,  // does nothing on a device in safe mode
  kCommandFillsBar = 1u << 2,           // a success fills the progress bar
};

// X(code, identifier, Tessaro's name, Kestor's trace text, Kestor's trace
//   text when the step failed (nullptr: "Error " + the trace text, or
//   nothing where the trace text is empty), Kestor's step text (nullptr:
//   none, the entry keeps its blank), flags)
#define LUMETRA_PROGRAM_COMMANDS(X)                                                                \
  X(0, Nil, "nil", "", nullptr, nullptr, kCommandPlain)                                            \
  X(1, ValidBinaryFileName, "ValidBinaryFileName", "valid binary file name",                       \
    "Invalid Binary File Name", "Valid binary file name", kCommandPlain)                           \
  X(2, OpenBinaryFile, "OpenBinaryFile", "Open Binary File", "Error in Open Binary File",          \
    "Open binary file", kCommandPlain)                                                             \
  X(3, DontUse3, "DontUse3", "", nullptr, nullptr, kCommandPlain)                                  \
  X(4, DontUse4, "DontUse4", "", nullptr, nullptr, kCommandPlain)                                  \
  X(5, DontUse5, "DontUse5", "", nullptr, nullptr, kCommandPlain)                                  \
  X(6, DontUse6, "DontUse6", "", nullptr, nullptr, kCommandPlain)                                  \
  X(7, DontUse7, "DontUse7", "", nullptr, nullptr, kCommandPlain)                                  \
  X(8, DontUse8, "DontUse8", "", nullptr, nullptr, kCommandPlain)                                  \
  X(9, IsDone, "IsDone", "Is Done", "", "Actual step is done", kCommandPlain)                      \
  X(10, OpenDevice, "OpenDevice", "Open Device", "Error in Open  Device", "Open device",           \
    kCommandPlain)                                                                                 \
  X(11, CloseDevice, "CloseDevice", "Close Device", "Error in Close Device", "Close device",       \
    kCommandPlain)                                                                                 \
  X(12, FlashAutoselect, "FlashAutoselect", "Flash: Autoselect", nullptr, "Flash autoselect",      \
    kCommandFillsBar)                                                                              \
  X(13, FlashEraseChip, "FlashEraseChip", "Flash: Erase Chip", nullptr, "Flash erase chip",        \
    kCommandTouchesFlash | kCommandFillsBar)                                                       \
  X(14, FlashEraseSectors, "FlashEraseSectors", "Flash: Erase Sectors", nullptr,                   \
    "Flash erase sectors", kCommandTouchesFlash | kCommandFillsBar)                                \
  X(15, FlashProgram, "FlashProgram", "Flash: Program", nullptr, "Flash program",                  \
    kCommandTouchesFlash | kCommandFillsBar)                                                       \
  X(16, FlashVerify, "FlashVerify", "Flash: Verify", nullptr, "Flash verify",                      \
    kCommandTouchesFlash | kCommandFillsBar)                                                       \
  X(17, StopProcesses, "StopProcesses", "Stop Processes", nullptr, "Stop processes",               \
    kCommandPlain)                                                                                 \
  X(18, SetMarker, "SetMarker", "Set Marker", nullptr, "Set marker",                               \
    kCommandSkippedInSafeMode | kCommandFillsBar)                                                  \
  X(19, ClearMarker, "ClearMarker", "Clear Marker", nullptr, "Clear marker", kCommandFillsBar)     \
  X(20, RestartDeviceToSafe, "RestartDeviceToSafe", "Restart Device to safe", nullptr,             \
    "Restart device to safe", kCommandSkippedInSafeMode)                                           \
  X(21, RestartDeviceToFW, "RestartDeviceToFW", "Restart Device with firmware", nullptr,           \
    "Restart device with firmware", kCommandPlain)                                                 \
  X(22, Wait1000ms, "Wait1000ms", "Wait 1000 ms", nullptr, "Wait 1000 ms", kCommandPlain)          \
  X(23, Wait500ms, "Wait500ms", "Wait 500 ms", nullptr, "Wait 500 ms", kCommandPlain)              \
  X(24, Wait100ms, "Wait100ms", "Wait 100 ms", nullptr, "Wait 100 ms", kCommandPlain)              \
  X(25, DisableAddressControl, "DisableAddressControl", "Disable Address Control", nullptr,        \
    "Disable address control", kCommandFillsBar)                                                   \
  X(26, TestOnOne, "TestOnOne", "Test On One", nullptr, "Test module state", kCommandFillsBar)     \
  X(27, RebootTest, "RebootTest", "Reboot Test", nullptr, "Reboot test",                           \
    kCommandSkippedInSafeMode | kCommandFillsBar)                                                  \
  X(28, VersionTest, "VersionTest", "Version Test", nullptr, "Version test",                       \
    kCommandSkippedInSafeMode | kCommandFillsBar)                                                  \
  X(29, TestOnSafeMode, "TestOnSafeMode", "Test On Safe Mode", nullptr, "Test on update mode",     \
    kCommandFillsBar)                                                                              \
  X(30, GetStatus, "GetStatus", "Get Status", nullptr, "Read status", kCommandFillsBar)            \
  X(31, CommandKill, "CommandKill", "Command Kill", nullptr, "Kill running processes",             \
    kCommandPlain)                                                                                 \
  X(32, PathPsPid9IsValidToo, "PathPS_PID0x0009isValidToo", "Path PS_PID0x0009 is Valid Too",      \
    nullptr, "Old PSU support, enabled", kCommandPlain)                                            \
  X(33, PathTR410BD, "PathTR410_BD", "Path TR410 bad", nullptr, "Wrong device path",               \
    kCommandPlain)                                                                                 \
  X(34, TR410ReadBD, "TR410_Read_BD", "TR410 Read bad", nullptr, "Device reading error",           \
    kCommandPlain)                                                                                 \
  X(35, TR410WriteBD, "TR410_Write_BD", "TR410 Write bad", nullptr, "Device writing error",        \
    kCommandPlain)                                                                                 \
  X(36, RebootViaPS, "RebootViaPS", "Reboot Via PS", nullptr, "Reboot Via PSU", kCommandPlain)     \
  X(37, PathTR410TestBD, "PathTR410test_BD", "Path TR410 test bad", nullptr, "Wrong device path ", \
    kCommandPlain)                                                                                 \
  X(38, RebootTestWith1sPause, "RebootTestWith1sPause", "Reboot Test With 1s Pause", nullptr,      \
    "Reboot test with 1s pause...", kCommandSkippedInSafeMode)                                     \
  X(39, RestartDeviceToSafeWith1sPause, "RestartDeviceToSafeWith1sPause",                          \
    "Restart Device To Safe With 1s Pause", nullptr,                                               \
    "Restart device to update mode with 1s pause", kCommandSkippedInSafeMode)                      \
  X(40, DeleteLogFile, "DeleteLogFile", "Delete Log File", nullptr, "Delete log file",             \
    kCommandPlain)                                                                                 \
  X(41, DontCreateLogFile, "DontCreateLogFile", "Dont Create Log File", nullptr,                   \
    "Dont create log file", kCommandPlain)                                                         \
  X(42, CreateLogFile, "CreateLogFile", "Create Log File", nullptr, "Create log file",             \
    kCommandPlain)                                                                                 \
  X(43, GetInfo, "GetInfo", "Get Info", nullptr, "Get Device Info", kCommandPlain)                 \
  X(44, SuspendTR410, "SuspendTR410", "Suspend TR410", nullptr, "Suspend TR410 module",            \
    kCommandSkippedInSafeMode)                                                                     \
  X(45, GetDeviceVersion, "GetDeviceVersion", "Get Device Version", nullptr, "Get device version", \
    kCommandSkippedInSafeMode)                                                                     \
  X(46, Reserved46, "reserved", "reserved", "reserved", "reserved", kCommandPlain)                 \
  X(47, Reserved47, "reserved", "reserved", "reserved", "reserved", kCommandPlain)                 \
  X(48, InteligRestartDeviceToFW, "InteligRestartDeviceToFW",                                      \
    "Intelig Restart Device To firmware", nullptr, "Restart device to firmware...", kCommandPlain) \
  X(49, IfVersionDoNextCmd, "if(version)do next cmd", "if (version) do next cmd", nullptr,         \
    "if (version) do next cmd", kCommandPlain)                                                     \
  X(50, InteligRebootViaPS, "InteligRebootViaPS", "Intelig Reboot Via PS", nullptr,                \
    "Reboot via PSU...", kCommandPlain)                                                            \
  X(51, UserSwichtOffAndSwitchOn, "UserSwichtOffAndSwitchOn", "User Swicht Off And Switch On",     \
    nullptr, "User swich off and switch on", kCommandPlain)                                        \
  X(52, WaitForIdleOnTR410OrTR420, "WaitForIDLEonTR410orTR420", "Wait For IDLE on TR410 or TR420", \
    nullptr, "Device is booting...", kCommandSkippedInSafeMode)

namespace cmd {
#define LUMETRA_COMMAND_ENUM(code, id, name, trace, traceFailed, step, flags) id = code,
// The command codes by name (cmd::FlashProgram is 15).
enum Code : int { LUMETRA_PROGRAM_COMMANDS(LUMETRA_COMMAND_ENUM) };
#undef LUMETRA_COMMAND_ENUM
}  // namespace cmd

struct ProgramCommandRow {
  int code;
  const char* name;         // Tessaro's name of the command
  const char* traceText;    // Kestor's trace text of the code; empty: none
  const char* traceFailed;  // of the negated code; nullptr: "Error " + traceText
  const char* stepText;     // Kestor's step text default; nullptr: none
  unsigned flags;           // ProgramCommandFlag bits
};

inline constexpr ProgramCommandRow kProgramCommands[] = {
#define LUMETRA_COMMAND_ROW(code, id, name, trace, traceFailed, step, flags) \
  {code, name, trace, traceFailed, step, flags},
    LUMETRA_PROGRAM_COMMANDS(LUMETRA_COMMAND_ROW)
#undef LUMETRA_COMMAND_ROW
};

inline constexpr int kLastProgramCommand = cmd::WaitForIdleOnTR410OrTR420;

// Each code once, in order from 0 without a gap: a row's index is its code.
constexpr bool ProgramCommandCodesAscend() {
  int expected = 0;
  for (const ProgramCommandRow& row : kProgramCommands)
    if (row.code != expected++) return false;
  return expected == kLastProgramCommand + 1;
}
static_assert(ProgramCommandCodesAscend(), "command codes are unique, ascending and gapless");

// The row of `code`; nullptr for a code outside 0..52.
constexpr const ProgramCommandRow* FindProgramCommand(int code) {
  return code >= 0 && code <= kLastProgramCommand ? &kProgramCommands[code] : nullptr;
}

constexpr bool ProgramCommandHas(int code, ProgramCommandFlag flag) {
  const ProgramCommandRow* row = FindProgramCommand(code);
  return row && (row->flags & flag) != 0;
}

// Kestor's trace text of a status word's code (negative: that step failed);
// empty for a code without one.
inline std::string ProgramCommandTraceText(int code) {
  const ProgramCommandRow* row = FindProgramCommand(code < 0 ? -code : code);
  if (!row) return {};
  if (code >= 0) return row->traceText;
  if (row->traceFailed) return row->traceFailed;
  return *row->traceText ? std::string("Error ") + row->traceText : std::string();
}

}  // namespace lm
