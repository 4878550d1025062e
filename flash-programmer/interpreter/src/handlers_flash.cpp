// The commands that work on the flash and the device's own requests.
#include "command_handlers.h"
#include "lumetra/program_commands.h"
#include "tessaro/flash_settings.h"

namespace tessaro {

bool FlashAutoselect(RunContext& run) {
  const FlashRecord& flash = run.flash();
  return FlashAutoselect(run.Device(lm::cmd::FlashAutoselect), flash, flash.baseFlashAddress,
                         flash.sectorAddress, run.log(), run.transfer());
}

bool FlashEraseChip(RunContext& run) {
  const FlashRecord& flash = run.flash();
  return FlashEraseChip(run.Device(lm::cmd::FlashEraseChip), flash, flash.baseFlashAddress,
                        run.log(), run.transfer());
}

bool FlashEraseSectors(RunContext& run) {
  TSelectableList& sectors = run.view.SectorLines();
  SelectListEntries(run.selectedSectors, static_cast<int>(run.selectedSectors.size()) - 1, sectors);
  const FlashRecord& flash = run.flash();
  return FlashEraseSectors(run.Device(lm::cmd::FlashEraseSectors), sectors, flash,
                           flash.baseFlashAddress, run.log(), run.transfer(), run.FlashBar());
}

namespace {

using BlockOperation = bool (*)(TDevice*, const std::vector<int>&, const ProgramBlocks&, uint32_t,
                                const FlashRecord&, LogList, TransferList, const FlashProgress&,
                                const BlockDone&);

// Programs or verifies the blocks the run started with selected, in the
// order of the list; each block done is reported to the run's events (the
// list shows it unselected).
bool OnBlocks(RunContext& run, int code, BlockOperation operation) {
  TSelectableList& blocks = run.view.BlockLines();
  SelectListEntries(run.selectedBlocks, static_cast<int>(run.selectedBlocks.size()) - 1, blocks);
  TArrayOfInteger selected;
  SelectedListEntries(blocks, selected);
  const FlashRecord& flash = run.flash();
  return operation(run.Device(code), selected, run.job.Records().blocks, flash.baseFlashAddress,
                   flash, run.log(), run.transfer(), run.FlashBar(),
                   [&run](int index) { run.events.BlockDone(index); });
}

}  // namespace

bool FlashProgram(RunContext& run) {
  return OnBlocks(run, lm::cmd::FlashProgram, &tessaro::FlashProgram);
}

bool FlashVerify(RunContext& run) {
  return OnBlocks(run, lm::cmd::FlashVerify, &tessaro::FlashVerify);
}

bool SetMarker(RunContext& run) {
  return SetMarker(run.Device(lm::cmd::SetMarker), true, run.log(), run.transfer());
}

bool ClearMarker(RunContext& run) {
  return ClearMarker(run.Device(lm::cmd::ClearMarker), true, run.log(), run.transfer());
}

bool DisableAddressControl(RunContext&) {
  SetAddressControl(false);
  return true;
}

bool VersionTest(RunContext& run) {
  const std::vector<uint32_t>& versions = run.header.versions;
  return FirmwareVersionInList(run.Device(lm::cmd::VersionTest), versions,
                               static_cast<int>(versions.size()) - 1, run.log(), run.transfer());
}

bool GetStatus(RunContext& run) {
  return GetFlashStatus(run.Device(lm::cmd::GetStatus), run.log(), run.transfer());
}

bool CommandKill(RunContext& run) {
  return CommandKill(run.Device(lm::cmd::CommandKill), false, run.log(), run.transfer());
}

bool SuspendTR410(RunContext& run) {
  if (!SuspendDevice(run.Device(lm::cmd::SuspendTR410), run.log(), run.transfer(), run.FlashBar()))
    return false;
  run.Log("  ok, device is suspend.");
  return true;
}

bool GetDeviceVersion(RunContext& run) {
  if (!ReadFirmwareVersion(run.Device(lm::cmd::GetDeviceVersion), run.version, run.safeMode,
                           run.log(), run.transfer()))
    return false;
  run.Log("  ok, FW version is %d.%d.", {run.version.major, run.version.minor});
  return true;
}

bool WaitForIdleOnTR410OrTR420(RunContext& run) {
  if (!WaitForIdle(run.Device(lm::cmd::WaitForIdleOnTR410OrTR420), run.log(), run.transfer(),
                   run.FlashBar()))
    return false;
  run.Log("  ok, device is in IDLE.");
  return true;
}

namespace {

// The conditional's comparison of the listed version with the device's.
bool CompareVersion(RunContext& run, int k) {
  uint32_t wanted = run.header.versions[static_cast<size_t>(k)];
  uint16_t major = static_cast<uint16_t>(wanted >> 16), minor = static_cast<uint16_t>(wanted);
  run.Log("  %d.from VersionList => %d.%d", {k, major, minor});
  TDevice* device = run.safeMode ? run.connection.get() : run.Device(lm::cmd::IfVersionDoNextCmd);
  if (!ReadFirmwareVersion(device, run.version, run.safeMode, run.log(), run.transfer())) {
    run.Log("  error, cannot read FW version.");
    return false;
  }
  const FirmwareVersion& found = run.version;
  run.Log("  FW version is %d.%d.", {found.major, found.minor});
  if (major == found.major && minor == found.minor) {
    run.skipCount = 1;
    run.Log("  from VersionList %d.%d = %d.%d from Device => will do next command",
            {major, minor, found.major, found.minor});
  } else {
    run.skipCount = 2;
    run.Log("  from VersionList %d.%d <> %d.%d from Device => will skip next command",
            {major, minor, found.major, found.minor});
  }
  return true;
}

}  // namespace

bool IfVersionDoNextCmd(RunContext& run) {
  const std::vector<uint8_t>& commands = run.header.commands;
  try {
    // The parameter byte; a conditional without one (the list's end) has nothing to compare.
    int k = run.position + 1 < commands.size() ? commands[run.position + 1] : -1;
    int last = static_cast<int>(run.header.versions.size()) - 1;
    if (k < 0 || k > last) {
      run.Log("  error, %d. isn't in VersionList(0..%d).", {k, last});
      return false;
    }
    return CompareVersion(run, k);
  } catch (const std::exception& e) {
    run.Log("  exception \"%s\", error => cannot to finish command", {e.what()});
    return false;
  }
}

}  // namespace tessaro
