// The supply's release: read from its SupplyBlock, written back into it
// after an update, and the supply's reboot.
#include <cstdio>

#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "lumetra/device_protocol.h"
#include "lumetra/wire.h"

namespace {

constexpr DWORD kReleaseWritePauseMs = 50;
// The product id whose module serial number the supply's table carries.
constexpr double kModulePartNumber = 1362500900.0;

}  // namespace

std::string DeviceUpdater::ReadPsRelease() {
  LogTrace(TRACE_LEVEL_1, "\n\nReading Revision : ");
  // The supply that was found, the new one when none was.
  const int32_t supply = record_.powerSupply.productId != 0 ? record_.powerSupply.productId
                                                            : lm::kPowerSupplyProductId;
  int32_t n = AssignDeviceByPid(supply);
  if (n >= 0) {
    std::vector<uint8_t> block;
    int32_t r = ReadSupplyBlock(n, &block);
    ReleaseDirectly(n);
    if (r >= 0) {
      wire::SupplyBlockView view(block);
      char release[32];
      std::snprintf(release, sizeof release, "%0.1f", view.ReleaseTimesTen() * 0.1);
      record_.psRelease = release;
      record_.releaseDate = view.PackedReleaseDate();
      record_.betaText = std::to_string(view.Beta());
      record_.supplyIdText = std::to_string(view.SupplyId());
      for (size_t m = 0; m < wire::SupplyBlock::kModuleCount; ++m) {
        if (view.Installed(m) == 1 && view.ModulePartNo(m) == kModulePartNumber) {
          record_.moduleSerial = std::to_string(view.ModuleSerial(m));
          break;
        }
      }
    } else {
      // Nothing read is nothing known: no "0.0", no date of day 0.
      record_.psRelease.clear();
      record_.releaseDate = 0;
      record_.betaText.clear();
    }
  }
  const std::string result = n >= 0 ? record_.psRelease : std::string();
  LogTrace(TRACE_LEVEL_1, result + "\n\n");
  return result;
}

int32_t DeviceUpdater::ReadWholeRegister(int32_t n, int32_t registerId, void* buffer, int32_t size,
                                         const std::string& what) {
  int32_t r = qlinkx_.GetRegister(n, registerId, 0, buffer, size);
  // A positive result counts the bytes that came.
  if (r > 0 && r < size) {
    LogTrace(what + " read short: " + std::to_string(r) + " of " + std::to_string(size) +
             " bytes\n");
    return DEVICE_SHORT_READ;
  }
  return r;
}

int32_t DeviceUpdater::ReadSupplyBlock(int32_t n, std::vector<uint8_t>* block) {
  block->assign(wire::SupplyBlock::kSize, 0);
  return ReadWholeRegister(n, FAC_SUPPLY_BLOCK, block->data(), static_cast<int32_t>(block->size()),
                           "Powersupply block");
}

// The block the release goes into, over the supply's number n: unlocked,
// read whole, the found supply's own and read the same twice outside the
// release, which it then holds. 0, the unlock's result or DEVICE_RELEASE_WRITE.
int32_t DeviceUpdater::BlockForRelease(int32_t n, int16_t releaseTimesTen, int16_t beta,
                                       uint16_t packedDate, std::vector<uint8_t>* out) {
  std::vector<uint8_t>& block = *out;
  const uint8_t zeros[2] = {0, 0};
  int32_t r = WriteDeviceRegister(n, FAC_PS_UNLOCK, 0, zeros, sizeof zeros);
  if (r >= 0) {
    r = ReadSupplyBlock(n, &block);
    if (r < 0) r = DEVICE_RELEASE_WRITE;
  }
  if (r >= 0) {
    // Written back, the block must be the supply's own: a block of another
    // supply, or one cut short where no count tells, would wipe its table.
    const std::string id = std::to_string(wire::SupplyBlockView(block).SupplyId());
    if (record_.supplyIdText.empty() || id != record_.supplyIdText) {
      LogTrace("Powersupply block holds supply id " + id + ", the supply found has " +
               (record_.supplyIdText.empty() ? std::string("none") : record_.supplyIdText) +
               ": Revisiondata not written!\n");
      r = DEVICE_RELEASE_WRITE;
    }
  }
  if (r >= 0) {
    // Nor may it be one garbled on its way with the id intact: its module
    // table would replace the supply's. A second read gives the same block
    // outside the release, which the write replaces.
    std::vector<uint8_t> again;
    const bool readAgain = ReadSupplyBlock(n, &again) >= 0;
    wire::PutSupplyRelease(block, releaseTimesTen, packedDate, beta);
    wire::PutSupplyRelease(again, releaseTimesTen, packedDate, beta);
    if (!readAgain || again != block) {
      LogTrace("Powersupply block differs between two reads: Revisiondata not written!\n");
      r = DEVICE_RELEASE_WRITE;
    }
  }
  return r;
}

int32_t DeviceUpdater::WritePsRelease(int16_t releaseTimesTen, int16_t beta, uint16_t packedDate) {
  // The release belongs to the supply the run was started on: one exchanged
  // since (while its panel restarted, say) takes nothing, not even the
  // unlock. Its supply id cannot tell, as the check after the update read
  // the block of whatever supply is there. A serial read in the update mode
  // (with letters) is another text than the same supply's own: only two
  // serials of one kind are compared.
  const std::string& found = record_.powerSupply.serialNumber;
  std::string serial;
  if (SerialNumbers(record_.powerSupply.productId, &serial) == 1 &&
      HasLetters(serial) == HasLetters(found) && serial != found) {
    LogTrace("Powersupply " + serial + " is not the one found at the start (" + found +
             "): Revisiondata not written!\n");
    return DEVICE_OTHER_SUPPLY;
  }
  int32_t n = AssignDeviceByPid(record_.powerSupply.productId);
  if (n < 0) return n;
  std::vector<uint8_t> block;
  int32_t r = BlockForRelease(n, releaseTimesTen, beta, packedDate, &block);
  if (r < 0) {
    UnassignDeviceNumber(n);
    return r;
  }
  LogTrace("Writing Revisiondata:\nRev      : " + std::to_string(releaseTimesTen) +
           "\nBeta     : " + std::to_string(beta) + "\nDate(hex): " + std::to_string(packedDate));
  r = WriteDeviceRegister(n, FAC_PS_WRITE_BLOCK, 0, block.data(),
                          static_cast<int32_t>(block.size()));
  if (r >= 0) {
    std::vector<uint8_t> written;
    if (ReadSupplyBlock(n, &written) < 0 || written != block) {
      LogTrace("Powersupply block read back differs from the one written!\n");
      r = DEVICE_RELEASE_WRITE;
    }
  }
  UnassignDeviceNumber(n);
  hwport::Sleep(kReleaseWritePauseMs);
  return r < 0 ? r : 1;
}

bool DeviceUpdater::RebootPowerSupply() {
  // A wait that a cancel cut short followed a reboot the supply took: the
  // caller's next look at the cancel ends its step.
  const int32_t r = mmi_.WriteReboot();
  return r == 0 || r == MMI_CANCELLED;
}
