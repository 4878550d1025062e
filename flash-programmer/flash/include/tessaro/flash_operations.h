// The operations that change or inspect the flash memory of the connected
// device, and the device requests that go with them. Each sends a command as
// facility data, then polls the device's flash status until it reports done,
// failed or the time-out passed. They run on the library's main thread, log
// "M" lines through FlashLog() (and to the log list), and return a boolean.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tessaro/device.h"
#include "tessaro/flash_codes.h"
#include "tessaro/flash_description.h"
#include "tessaro/flash_progress.h"
#include "tessaro/flash_settings.h"
#include "tessaro/line_lists.h"

namespace tessaro {

// State shared by the operations (FlashShared, in the library's settings).
FlashShared& Flash();
void SetAddressControl(bool on);
// Back to the state of a freshly loaded library (state 0, address control on).
void ResetFlashShared();

// The operations' message ("M") lines; the logger binds it. Unbound, the lines
// only reach the log list.
LogHook& FlashLog();
// The operations' modal messages; a message box unless replaced.
std::function<void(const std::string&)>& FlashMessage();

// ---- batch operations (the interpreter's flash commands) ----
bool FlashAutoselect(TDevice* device, const FlashRecord& flash, uint32_t baseAddress,
                     uint32_t sectorAddress, LogList log, TransferList transfer);
bool FlashEraseChip(TDevice* device, const FlashRecord& flash, uint32_t baseAddress, LogList log,
                    TransferList transfer);
// Entry i of `sectors` stands for sector i of `flash`; the selected ones are erased.
bool FlashEraseSectors(TDevice* device, TSelectableList& sectors, const FlashRecord& flash,
                       uint32_t baseAddress, LogList log, TransferList transfer,
                       const FlashProgress& progress = {});
// Told the index of each block as it is programmed or verified.
using BlockDone = std::function<void(int index)>;
// The blocks of `selected` (indices into `blocks`, in that order) in turn;
// `blockDone` hears of each as it is done.
bool FlashProgram(TDevice* device, const std::vector<int>& selected, const ProgramBlocks& blocks,
                  uint32_t baseAddress, const FlashRecord& flash, LogList log,
                  TransferList transfer, const FlashProgress& progress, const BlockDone& blockDone);
bool FlashVerify(TDevice* device, const std::vector<int>& selected, const ProgramBlocks& blocks,
                 uint32_t baseAddress, const FlashRecord& flash, LogList log, TransferList transfer,
                 const FlashProgress& progress, const BlockDone& blockDone);
// Entry i of `blockList` stands for block i of `blocks`: the entries
// selected when the operation starts, each unselected as it is done.
bool FlashProgram(TDevice* device, TSelectableList& blockList, const ProgramBlocks& blocks,
                  uint32_t baseAddress, const FlashRecord& flash, LogList log,
                  TransferList transfer, const FlashProgress& progress = {});
bool FlashVerify(TDevice* device, TSelectableList& blockList, const ProgramBlocks& blocks,
                 uint32_t baseAddress, const FlashRecord& flash, LogList log, TransferList transfer,
                 const FlashProgress& progress = {});

// Checks every block of the image against the flash description before
// anything is erased: each must lie inside the sector map and fit into one
// request. Logs one line per misfit; true when all fit.
bool CheckImageAgainstFlash(const ProgramBlocks& blocks, const FlashRecord& flash, TLineList* log);

// ---- device requests ----
struct FirmwareVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
};

bool GetFlashStatus(TDevice* device, LogList log, TransferList transfer);
// The device status word of a suspended device: 0x80, with or without its
// low bit; idle is 0 or 1.
constexpr uint16_t kStatusSuspended = 0x80;
constexpr uint16_t kStatusIdleHighest = 1;
inline bool IsSuspendedStatus(uint16_t status) { return (status & ~1u) == kStatusSuspended; }

bool SuspendDevice(TDevice* device, LogList log, TransferList transfer,
                   const FlashProgress& progress = {});
bool WaitForIdle(TDevice* device, LogList log, TransferList transfer,
                 const FlashProgress& progress = {});
bool ReadFirmwareVersion(TDevice* device, FirmwareVersion& version, bool safeMode, LogList log,
                         TransferList transfer);
// `limit`: major in the high 16 bits, minor in the low 16 bits.
bool FirmwareVersionBelow(TDevice* device, uint32_t limit, LogList log, TransferList transfer,
                          std::string* text);
bool FirmwareVersionInList(TDevice* device, const std::vector<uint32_t>& versions, int highest,
                           LogList log, TransferList transfer);
// The states a flash command waits in, ends with and fails with.
struct FlashStates {
  uint8_t busy = 0;
  uint8_t success = 0;
  uint8_t error = 0;
};
constexpr FlashStates kMarkerStates{
    .busy = kMarkerBusy, .success = kMarkerOk, .error = kMarkerError};

// One flash command: `argument` as u16 at offset 0 of `size` zeroed bytes,
// a CRC-16 in the last two when `crc`; with `wait` the status is polled
// until `expect.success` or `expect.error`, at most `timeout` ms.
struct FlashRequest {
  uint16_t command = 0;
  uint16_t argument = 0;
  uint16_t size = 0;
  bool crc = true;
  bool wait = true;
  int32_t timeout = 0;
  FlashStates expect{};
};

// True when the success state arrived (without `wait`: false). `address`
// receives the reported address of a flash-test answer.
bool SendFlashCommand(TDevice* device, const FlashRequest& request, LogList log,
                      TransferList transfer, uint32_t* address = nullptr);
bool SetMarker(TDevice* device, bool heading, LogList log, TransferList transfer);
bool ClearMarker(TDevice* device, bool heading, LogList log, TransferList transfer);
// Does not wait for an answer: always false.
bool RestartByMarker(TDevice* device, bool heading, LogList log, TransferList transfer);
// `stillPresent` tells whether the device is still on the bus after the reboot.
bool RebootRequest(TDevice* device, TLineList* log, const std::function<bool()>& stillPresent);
bool CommandKill(TDevice* device, bool heading, LogList log, TransferList transfer);

}  // namespace tessaro
