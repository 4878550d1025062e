// The dispatch of the command codes 0..52: the row of a code is its index.
#include <iterator>

#include "command_handlers.h"
#include "lumetra/program_commands.h"

namespace tessaro {
namespace {

using namespace lm::cmd;

constexpr CommandEntry kCommands[] = {
    {Nil, &NoAction, nullptr},
    {ValidBinaryFileName, &NoAction, nullptr},
    {OpenBinaryFile, &NoAction, nullptr},
    {DontUse3, &NoAction, nullptr},
    {DontUse4, &NoAction, nullptr},
    {DontUse5, &NoAction, nullptr},
    {DontUse6, &NoAction, nullptr},
    {DontUse7, &NoAction, nullptr},
    {DontUse8, &NoAction, nullptr},
    {IsDone, &NoAction, nullptr},
    {lm::cmd::OpenDevice, &OpenDevice, nullptr},
    {lm::cmd::CloseDevice, &CloseDevice, nullptr},
    {lm::cmd::FlashAutoselect, &FlashAutoselect, nullptr},
    {lm::cmd::FlashEraseChip, &FlashEraseChip, nullptr},
    {lm::cmd::FlashEraseSectors, &FlashEraseSectors, nullptr},
    {lm::cmd::FlashProgram, &FlashProgram, nullptr},
    {lm::cmd::FlashVerify, &FlashVerify, nullptr},
    {StopProcesses, &NoAction, nullptr},
    {lm::cmd::SetMarker, &SetMarker, "Skip, SetMarker."},
    {lm::cmd::ClearMarker, &ClearMarker, nullptr},
    {lm::cmd::RestartDeviceToSafe, &RestartDeviceToSafe, "Skip, RestartDeviceToSafe."},
    {lm::cmd::RestartDeviceToFW, &RestartDeviceToFW, nullptr},
    {lm::cmd::Wait1000ms, &Wait1000ms, nullptr},
    {lm::cmd::Wait500ms, &Wait500ms, nullptr},
    {lm::cmd::Wait100ms, &Wait100ms, nullptr},
    {lm::cmd::DisableAddressControl, &DisableAddressControl, nullptr},
    {lm::cmd::TestOnOne, &TestOnOne, nullptr},
    {lm::cmd::RebootTest, &RebootTest, "Skip, Reboot."},
    {lm::cmd::VersionTest, &VersionTest, "Skip, VersionTest."},
    {lm::cmd::TestOnSafeMode, &TestOnSafeMode, nullptr},
    {lm::cmd::GetStatus, &GetStatus, nullptr},
    {lm::cmd::CommandKill, &CommandKill, nullptr},
    {lm::cmd::PathPsPid9IsValidToo, &PathPsPid9IsValidToo, nullptr},
    {lm::cmd::PathTR410BD, &PathTR410BD, nullptr},
    {lm::cmd::TR410ReadBD, &TR410ReadBD, nullptr},
    {lm::cmd::TR410WriteBD, &TR410WriteBD, nullptr},
    {lm::cmd::RebootViaPS, &RebootViaPS, nullptr},
    {lm::cmd::PathTR410TestBD, &PathTR410TestBD, nullptr},
    {lm::cmd::RebootTestWith1sPause, &RebootTestWith1sPause, "Skip, RebootWith1sPause."},
    // With its pause or without it, the restart to safe mode logs one text.
    {RestartDeviceToSafeWith1sPause, &RestartDeviceToSafe, "Skip, RestartDeviceToSafe."},
    {lm::cmd::DeleteLogFile, &DeleteLogFile, nullptr},
    {lm::cmd::DontCreateLogFile, &DontCreateLogFile, nullptr},
    {lm::cmd::CreateLogFile, &CreateLogFile, nullptr},
    {lm::cmd::GetInfo, &GetInfo, nullptr},
    {lm::cmd::SuspendTR410, &SuspendTR410, "  Skip, SuspendTR410."},
    {lm::cmd::GetDeviceVersion, &GetDeviceVersion, "  Skip, GetDeviceVersion."},
    {Reserved46, &Reserved, nullptr},
    {Reserved47, &Reserved, nullptr},
    {lm::cmd::InteligRestartDeviceToFW, &InteligRestartDeviceToFW, nullptr},
    {lm::cmd::IfVersionDoNextCmd, &IfVersionDoNextCmd, nullptr},
    {lm::cmd::InteligRebootViaPS, &InteligRebootViaPS, nullptr},
    {lm::cmd::UserSwichtOffAndSwitchOn, &UserSwichtOffAndSwitchOn, nullptr},
    {lm::cmd::WaitForIdleOnTR410OrTR420, &WaitForIdleOnTR410OrTR420,
     "  Skip, WaitForIDLEonTR410orTR420."},
};

constexpr CommandEntry kNoAction = {-1, &NoAction, nullptr};

// Every code of the shared table has its row, at its index; each command
// the table skips in safe mode has the text it logs then.
constexpr bool EveryCodeHasItsRow() {
  if (std::size(kCommands) != lm::kLastProgramCommand + 1) return false;
  for (int code = 0; code <= lm::kLastProgramCommand; ++code) {
    const CommandEntry& entry = kCommands[code];
    if (entry.code != code || !entry.handler) return false;
    if (lm::ProgramCommandHas(code, lm::kCommandSkippedInSafeMode) != (entry.skipText != nullptr))
      return false;
  }
  return true;
}
static_assert(EveryCodeHasItsRow(), "one row per command code 0..52, in order");

}  // namespace

const CommandEntry& CommandFor(int code) {
  return code >= 0 && code <= lm::kLastProgramCommand ? kCommands[code] : kNoAction;
}

}  // namespace tessaro
