// Autoselect, chip and sector erase, program and verify.
#include <vector>

#include "flash_steps.h"
#include "tessaro/crc16.h"
#include "tessaro/errors.h"
#include "tessaro/flash_codes.h"
#include "tessaro/flash_settings.h"

namespace tessaro {
namespace {

PollSpec Spec(uint8_t busy, int32_t timeout, int lengthLimit, bool stoppable, const char* title,
              const char* lengthName, const char* crcName, const char* crcWidth) {
  PollSpec s;
  s.busy = busy;
  s.success = static_cast<uint8_t>(busy + 1);
  s.error = static_cast<uint8_t>(busy + 2);
  s.timeout = timeout;
  s.lengthLimit = lengthLimit;
  s.stoppable = stoppable;
  s.title = title;
  s.lengthLine = std::string("   ! ERROR ") + lengthName +
                 ", %s: readen bad length of data ( %d B, must be %d B), will read again ";
  s.crcLine = std::string("   ! ERROR ") + crcName + ", %s: Bad CRC ( 0x" + crcWidth +
              " , must be 0x" + crcWidth + " B), will read again ";
  return s;
}

int SelectedCount(const TSelectableList& list) {
  int n = 0;
  for (int i = 0; i < list.Count(); ++i) n += list.Selected(i) ? 1 : 0;
  return n;
}

// The byte a word-mode pad writes at `address`: what the image holds there
// when another block covers it, else 0xFF, which leaves the flash as it is
// (programming only clears bits). Either way no byte of another block changes.
uint8_t PadByte(const ProgramBlocks& blocks, uint32_t address) {
  for (const ProgramBlock& b : blocks.Blocks())
    if (address >= b.address && address - b.address < b.Size())
      return b.Data()[address - b.address];
  return 0xFF;
}

// The largest block one request carries: its length and the 20 bytes around
// it must fit the u16 length of a control transfer.
constexpr uint32_t kMaxRequestData = 0xFFFF - 20;

// What differs between programming and verifying a block.
struct BlockJob {
  bool verify;
  const char* none;       // no selection
  const char* heading;    // (base, count)
  const char* blockLine;  // (base, i, address - lead, n)
  const char* sendTitle;
  const char* stopName;    // stop test
  const char* name;        // result report
  const char* wrongPlace;  // (i, reported, wanted, time)
  const char* done;        // (i, address, size, time)
  FlashPhase phase;
  uint8_t busy;
  PollSpec poll;
};

// The request of one block: its data padded to whole words where the flash
// takes words, with its place and a CRC; the odd-place lines are logged.
std::vector<uint8_t> BlockRequest(const BlockJob& job, const ProgramBlocks& blocks, int i,
                                  uint32_t base, const FlashRecord& flash, LogList log,
                                  uint32_t& start) {
  const ProgramBlock& block = blocks.Blocks()[static_cast<size_t>(i)];
  uint32_t a = job.verify ? base + block.address : block.address;
  uint32_t s = block.Size();
  uint32_t lead = 0, trail = 0;
  std::string oddAddress, oddSize;
  if (flash.WordMode()) {
    lead = a & 1;
    if (lead) {
      oddAddress = FormatText(
          "Flash is 16bit and has WORD MODE access and StartAdrees of Block is on Odd Address "
          "0x%8.8X\n\rDecrement StartAddress to Even and put NOP (0x00)",
          {a});
      FlashMessage()(oddAddress);
    }
    trail = (s + lead) & 1;
    if (trail) {
      oddSize = FormatText(
          "Flash is 16bit and has WORD MODE access and Size of Block is Odd (%dB)\n\rIncrement "
          "Size to Even and put NOP (0x00)",
          {s + lead});
      FlashMessage()(oddSize);
    }
  }
  uint32_t n = s + lead + trail;
  LogM(log, job.blockLine, {base, i, a - lead, n});
  if (n > kMaxRequestData)
    throw TessaroError(FormatText("Block no.%d is too long for one request (%d B, at most %d B)",
                                  {i, n, kMaxRequestData}));
  std::vector<uint8_t> request(n + 20, 0);
  if (lead) request[16] = PadByte(blocks, block.address - 1);
  if (trail) request[16 + lead + s] = PadByte(blocks, block.address + s);
  if (job.verify) {
    le::PutU32(&request[0], a - lead);
    le::PutU16(&request[4], static_cast<uint16_t>(n));
  } else {
    le::PutU32(&request[0], base);
    le::PutU32(&request[4], a - lead);
    le::PutU16(&request[8], static_cast<uint16_t>(n));
  }
  std::copy(block.Data(), block.Data() + s, request.begin() + 16 + lead);
  Crc16Append(request.data(), n + 18);
  if (lead) LogM(log, "   !!!%s", {oddAddress});
  if (trail) LogM(log, "   !!!%s", {oddSize});
  start = a - lead;
  return request;
}

// Sends block i and waits for the device's word on it; true when it was
// programmed or verified where it was meant to be.
bool OneBlock(const BlockJob& job, TDevice* device, const ProgramBlocks& blocks, int i,
              uint32_t base, const FlashRecord& flash, LogList log, TransferList transfer) {
  if (i >= blocks.Count()) throw TessaroError(FormatText("Block no.%d isn't in the image", {i}));
  Flash().FlashState = job.busy;
  uint32_t start = 0;
  std::vector<uint8_t> request = BlockRequest(job, blocks, i, base, flash, log, start);
  if (!SendFacility(device, job.verify ? CMD_MEMORY_VERIFY : CMD_FLASH_PROGRAM, request.data(),
                    static_cast<uint16_t>(request.size()), log, job.sendTitle, transfer))
    return false;
  PollResult poll = PollFlashStatus(device, job.poll, log, transfer);
  if (StopCheck(job.stopName, log)) return false;
  if (Flash().FlashState != job.poll.success) {
    ReportFlashResult(job.name, Flash().FlashState, log, kNoIndex, kNoIndex, "", poll);
    return false;
  }
  // The device reports the address it was sent: the padded start.
  uint32_t reported = le::U32(poll.answer + 2);
  if (Flash().AddressControl && reported != start) {
    LogM(log, job.wrongPlace, {i, reported, start, poll.Time()});
    return false;
  }
  const ProgramBlock& block = blocks.Blocks()[static_cast<size_t>(i)];
  LogM(log, job.done,
       {i, job.verify ? base + block.address : block.address, block.Size(), poll.Time()});
  return true;
}

// The blocks of `selected` in turn, each reported done as it is.
bool RunBlocks(const BlockJob& job, TDevice* device, const std::vector<int>& selected,
               const ProgramBlocks& blocks, uint32_t base, const FlashRecord& flash, LogList log,
               TransferList transfer, const FlashProgress& progress, const BlockDone& blockDone) {
  int count = static_cast<int>(selected.size());
  if (count == 0) {
    FlashMessage()(job.none);
    return false;
  }
  try {
    LogHeading(log, job.heading, {base, count});
    ResetProgress(progress, job.phase, count);
    int done = 0;
    for (int i : selected) {
      if (!OneBlock(job, device, blocks, i, base, flash, log, transfer)) return false;
      if (blockDone) blockDone(i);
      StepProgress(progress, job.phase, ++done, count);
    }
    FinishProgress(progress);
    return true;
  } catch (const TessaroError& e) {
    ReportError(job.verify ? "Verifying" : "Programing", e.Message(), log);
    return false;
  }
}

// The entries of `list` selected now, ascending.
std::vector<int> SelectedIndices(const TSelectableList& list) {
  std::vector<int> out;
  for (int i = 0; i < list.Count(); ++i)
    if (list.Selected(i)) out.push_back(i);
  return out;
}

// A block done is unselected in the list it was chosen in.
BlockDone UnselectIn(TSelectableList& list) {
  return [&list](int index) { list.SetSelected(index, false); };
}

}  // namespace

bool FlashAutoselect(TDevice* device, const FlashRecord& flash, uint32_t base, uint32_t sector,
                     LogList log, TransferList transfer) {
  try {
    LogHeading(log,
               "=====   Autoselect: BaseFlash: 0x%8.8X, SectorAddress: 0x%8.8X, commands: "
               "0x%4.4X,0x%4.4X   =====",
               {base, sector, flash.autoselectCommand1, flash.autoselectCommand2});
    SetStopRequested(false);
    Flash().FlashState = kAutoselectBusy;
    uint8_t request[15] = {};
    le::PutU32(&request[0], base);
    le::PutU32(&request[4], sector);
    le::PutU16(&request[8], flash.autoselectCommand1);
    le::PutU16(&request[10], flash.autoselectCommand2);
    request[12] = flash.accessMode;
    Crc16Append(request, 13);
    if (!SendFacility(device, CMD_FLASH_AUTOSELECT, request, 15, log,
                      "for command autoselect: CMD_FLASH_AUTOSELECT", transfer))
      return false;
    PollResult poll = PollFlashStatus(
        device,
        Spec(kAutoselectBusy, CurrentFlashTimes().autoselectTimeout, 4, false,
             "for command autoselect: CMD_GET_FLASH_STATUS", "Autoselect", "Autoselect", "%2.2X"),
        log, transfer);
    bool result = false;
    if (Flash().FlashState == kAutoselectOk) {
      Flash().FoundManufactureID = poll.answer[2];
      Flash().FoundSectorProtection = poll.answer[3];
      Flash().FoundDeviceID = le::U16(poll.answer + 4);
      const FlashShared& f = Flash();
      if (flash.manufacturerId == f.FoundManufactureID && flash.deviceId == f.FoundDeviceID) {
        LogM(log,
             "  OK Autoselect, found flash on BaseAddress 0x%8.8X \n\r    ManufactureID: 0x%2.2X, "
             "DeviceID: 0x%2.2X, SectorProtectin on Address 0x%8.8X: 0x%2.2X (%dms)",
             {base, f.FoundManufactureID, f.FoundDeviceID, sector, f.FoundSectorProtection,
              poll.Time()});
        result = true;
      } else {
        LogM(log,
             "  ERROR Autoselect, found other flash (%dms)\n\r    need:  ManufactureID: 0x%2.2X, "
             "DeviceID: 0x%2.2X ---\n\r    found: ManufactureID: 0x%2.2X, DeviceID: 0x%2.2X ---",
             {poll.Time(), flash.manufacturerId, flash.deviceId, f.FoundManufactureID,
              f.FoundDeviceID});
      }
    } else {
      ReportFlashResult("Autoselect", Flash().FlashState, log, kNoIndex, kNoIndex,
                        FormatText(": BaseFlash: 0x%8.8X, SectorAddress: 0x%8.8X", {base, sector}),
                        poll);
    }
    FinishProgress({});
    return result;
  } catch (const TessaroError& e) {
    ReportError("Autoselect", e.Message(), log);
    return false;
  }
}

bool FlashEraseChip(TDevice* device, const FlashRecord& flash, uint32_t base, LogList log,
                    TransferList transfer) {
  try {
    LogHeading(log, "=====   EraseChip: BaseFlash: 0x%8.8X   =====", {base});
    SetStopRequested(false);
    Flash().FlashState = kChipEraseBusy;
    uint8_t request[6] = {};
    le::PutU32(request, flash.baseFlashAddress);
    Crc16Append(request, 4);
    if (!SendFacility(device, CMD_FLASH_CHIP_ERASE, request, 6, log,
                      "for chip eraseing CMD_FLASH_CHIP_ERASE", transfer))
      return false;
    PollResult poll = PollFlashStatus(
        device,
        Spec(kChipEraseBusy, CurrentFlashTimes().chipEraseTimeout, 4, true,
             "for chip eraseing CMD_GET_FLASH_STATUS", "EraseChip", "EraseChip", "%2.2X"),
        log, transfer);
    bool result = Flash().FlashState == kChipEraseOk;
    if (!StopCheck("EraseChip", log)) {
      if (result)
        LogM(log, "   OK EraseChip, Chip was succesfully erased (%dms)", {poll.Time()});
      else
        ReportFlashResult("EraseChip", Flash().FlashState, log, kNoIndex, kNoIndex, "", poll);
    }
    FinishProgress({});
    return result;
  } catch (const TessaroError& e) {
    ReportError("EraseChip", e.Message(), log);
    return false;
  }
}

bool FlashEraseSectors(TDevice* device, TSelectableList& sectors, const FlashRecord& flash,
                       uint32_t base, LogList log, TransferList transfer,
                       const FlashProgress& progress) {
  try {
    int selected = SelectedCount(sectors);
    ResetProgress(progress, FlashPhase::kEraseSectors, selected);
    LogHeading(log, "=====   SectorErase: BaseFlash: 0x%8.8X, will erase %d sectors   =====",
               {base, selected});
    // Nothing selected is a failure that says so, not a silent one.
    if (selected == 0) LogM(log, "  ERROR EraseSector, no sector is selected");
    bool result = false;
    int done = 0;
    PollSpec spec =
        Spec(kSectorEraseBusy, CurrentFlashTimes().sectorEraseTimeout, 11, true,
             "for sector eraceing CMD_GET_FLASH_STATUS", "EraseSector", "EraseSector", "%2.2X");
    for (int i = 0; i < sectors.Count(); ++i) {
      if (!sectors.Selected(i)) continue;
      if (static_cast<size_t>(i) >= flash.sectors.size())
        throw TessaroError(FormatText("Sector no.%d isn't in the flash description", {i}));
      uint32_t start = flash.sectors[static_cast<size_t>(i)].start;
      LogM(log, "  EraseSector: BaseFlash: 0x%8.8X, Sector no.%d: SectorAddress: 0x%8.8X ",
           {base, i, start});
      Flash().FlashState = kSectorEraseBusy;
      uint8_t request[10] = {};
      le::PutU32(&request[0], base);
      le::PutU32(&request[4], start);
      Crc16Append(request, 8);
      if (!SendFacility(device, CMD_FLASH_SECTOR_ERASE, request, 10, log,
                        "for sector eraseing CMD_FLASH_SECTOR_ERASE", transfer))
        return false;
      PollResult poll = PollFlashStatus(device, spec, log, transfer);
      if (StopCheck("EraseSector", log)) return false;
      if (Flash().FlashState != kSectorEraseOk) {
        ReportFlashResult("EraseSector", Flash().FlashState, log, kNoIndex, kNoIndex, "", poll);
        return false;
      }
      uint32_t reported = le::U32(poll.answer + 2);
      if (Flash().AddressControl && reported != start) {
        LogM(log,
             "   ERROR EraseSector, Sector %d on address 0x%8.8X was erased, but was want on "
             "0x%8.8X (%dms).",
             {i, reported, start, poll.Time()});
        return false;
      }
      LogM(log, "   OK EraseSector, Sector %d on address 0x%8.8X was succesfully erased (%dms)",
           {i, start, poll.Time()});
      sectors.SetSelected(i, false);
      result = true;
      StepProgress(progress, FlashPhase::kEraseSectors, ++done, selected);
    }
    FinishProgress(progress);
    return result;
  } catch (const TessaroError& e) {
    ReportError("EraseSector", e.Message(), log);
    return false;
  }
}

namespace {

BlockJob ProgramJob() {
  return BlockJob{
      false,
      "You haven't selected sectors for programming",
      "=====   Programming: BaseFlash: 0x%8.8X, will programing %d blocks of datas   =====",
      "  Programing: BaseFlash: 0x%0:8.8X, Block no.%1:d: BlockAddress: 0x%2:8.8X, size: "
      "0x%3:4.4X(%3:d) ",
      "for command programing: CMD_FLASH_PROGRAM",
      "Programming",
      "Programing",
      "   ERROR Programming, Block %d on address 0x%8.8X was programed, but was want on "
      "0x%8.8X (%dms).",
      "   OK Programming, Block %d on address 0x%8.8X size %d was succesfully programed "
      "(%dms)",
      FlashPhase::kProgram,
      kProgramBusy,
      Spec(kProgramBusy, CurrentFlashTimes().programTimeout, 11, true,
           "for command programing: CMD_GET_FLASH_STATUS", "Programing", "Programming", "%4.4X")};
}

BlockJob VerifyJob() {
  return BlockJob{
      true,
      "You haven't selected sectors for verifying",
      "=====   Verifying: BaseFlash: 0x%8.8X, will program %d block of data   =====",
      "  Verifying:  BaseFlash: 0x%0:8.8X, Block no.%1:d: BlockAddress(absolut): "
      "0x%2:8.8X, size: 0x%3:4.4X(%3:d) ",
      "for command verifying: CMD_MEMORY_VERIFY",
      "Verifying",
      "Verifying",
      "   ERROR Verifying, Block %d on address 0x%8.8X was verifyd, but was want on "
      "0x%8.8X (%dms).",
      "   OK Verifying, Block %d on address 0x%8.8X size %d was succesfully verifyd (%dms)",
      FlashPhase::kVerify,
      kVerifyBusy,
      Spec(kVerifyBusy, CurrentFlashTimes().verifyTimeout, 11, true,
           "for command verifying: CMD_GET_FLASH_STATUS", "Verifying", "Verifying", "%4.4X")};
}

}  // namespace

bool FlashProgram(TDevice* device, const std::vector<int>& selected, const ProgramBlocks& blocks,
                  uint32_t base, const FlashRecord& flash, LogList log, TransferList transfer,
                  const FlashProgress& progress, const BlockDone& blockDone) {
  return RunBlocks(ProgramJob(), device, selected, blocks, base, flash, log, transfer, progress,
                   blockDone);
}

bool FlashVerify(TDevice* device, const std::vector<int>& selected, const ProgramBlocks& blocks,
                 uint32_t base, const FlashRecord& flash, LogList log, TransferList transfer,
                 const FlashProgress& progress, const BlockDone& blockDone) {
  return RunBlocks(VerifyJob(), device, selected, blocks, base, flash, log, transfer, progress,
                   blockDone);
}

bool FlashProgram(TDevice* device, TSelectableList& blockList, const ProgramBlocks& blocks,
                  uint32_t base, const FlashRecord& flash, LogList log, TransferList transfer,
                  const FlashProgress& progress) {
  return FlashProgram(device, SelectedIndices(blockList), blocks, base, flash, log, transfer,
                      progress, UnselectIn(blockList));
}

bool FlashVerify(TDevice* device, TSelectableList& blockList, const ProgramBlocks& blocks,
                 uint32_t base, const FlashRecord& flash, LogList log, TransferList transfer,
                 const FlashProgress& progress) {
  return FlashVerify(device, SelectedIndices(blockList), blocks, base, flash, log, transfer,
                     progress, UnselectIn(blockList));
}

bool CheckImageAgainstFlash(const ProgramBlocks& blocks, const FlashRecord& flash, TLineList* log) {
  bool fits = true;
  for (size_t i = 0; i < blocks.Blocks().size(); ++i) {
    const ProgramBlock& b = blocks.Blocks()[i];
    // Every byte of the block lies in some sector: walk sector by sector.
    uint64_t at = b.address, end = at + b.Size();
    bool inside = true;
    while (inside && at < end) {
      inside = false;
      for (const FlashSector& s : flash.sectors) {
        if (at >= s.start && at < uint64_t{s.start} + s.size) {
          at = uint64_t{s.start} + s.size;
          inside = true;
          break;
        }
      }
    }
    uint32_t lead = flash.WordMode() ? (b.address & 1) : 0;
    uint32_t trail = flash.WordMode() ? ((b.Size() + lead) & 1) : 0;
    if (!inside) {
      LogM(log, "  ERROR, Block %d on address 0x%8.8X size %d lies outside the flash \"%s\"",
           {static_cast<int>(i), b.address, b.Size(), flash.name});
      fits = false;
    } else if (b.Size() + lead + trail > kMaxRequestData) {
      LogM(log, "  ERROR, Block %d on address 0x%8.8X size %d is too long for one request",
           {static_cast<int>(i), b.address, b.Size()});
      fits = false;
    }
  }
  return fits;
}

}  // namespace tessaro
