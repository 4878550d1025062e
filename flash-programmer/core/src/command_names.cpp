#include "tessaro/command_names.h"

namespace tessaro {
namespace {

const char* const kNames[kLastCommandCode + 1] = {
    "nil",
    "ValidBinaryFileName",
    "OpenBinaryFile",
    "DontUse3",
    "DontUse4",
    "DontUse5",
    "DontUse6",
    "DontUse7",
    "DontUse8",
    "IsDone",
    "OpenDevice",
    "CloseDevice",
    "FlashAutoselect",
    "FlashEraseChip",
    "FlashEraseSectors",
    "FlashProgram",
    "FlashVerify",
    "StopProcesses",
    "SetMarker",
    "ClearMarker",
    "RestartDeviceToSafe",
    "RestartDeviceToFW",
    "Wait1000ms",
    "Wait500ms",
    "Wait100ms",
    "DisableAddressControl",
    "TestOnOne",
    "RebootTest",
    "VersionTest",
    "TestOnSafeMode",
    "GetStatus",
    "CommandKill",
    "PathPS_PID0x0009isValidToo",
    "PathTR410_BD",
    "TR410_Read_BD",
    "TR410_Write_BD",
    "RebootViaPS",
    "PathTR410test_BD",
    "RebootTestWith1sPause",
    "RestartDeviceToSafeWith1sPause",
    "DeleteLogFile",
    "DontCreateLogFile",
    "CreateLogFile",
    "GetInfo",
    "SuspendTR410",
    "GetDeviceVersion",
    "reserved",
    "reserved",
    "InteligRestartDeviceToFW",
    "if(version)do next cmd",
    "InteligRebootViaPS",
    "UserSwichtOffAndSwitchOn",
    "WaitForIDLEonTR410orTR420",
};

}  // namespace

const char* ProgramCommandName(int code) {
  return code >= 0 && code <= kLastCommandCode ? kNames[code] : "";
}

int ProgramCommandCode(const std::string& name) {
  for (int code = 0; code <= kLastCommandCode; ++code)
    if (name == kNames[code]) return code;
  return -1;
}

}  // namespace tessaro
