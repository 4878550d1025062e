#include "device/device_updater.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "config/update_config.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "lumetra/wire.h"
#include "state/shared_values.h"

DeviceUpdater* theDeviceUpdater = nullptr;

int CancelState() {
  return theDeviceUpdater ? theDeviceUpdater->GetCancelState() : CANCEL_STATE_STOPPED;
}

void SetCancelState(int value) {
  if (theDeviceUpdater) theDeviceUpdater->SetCancelState(value);
}

bool ReplaceCancelState(int expected, int value) {
  return theDeviceUpdater && theDeviceUpdater->ReplaceCancelState(expected, value);
}

bool WaitUnlessCancelled(DWORD ms, DWORD stepMs, const std::function<bool()>& cancelled) {
  for (DWORD waited = 0; waited < ms; waited += stepMs) {
    if (cancelled()) return false;
    hwport::Sleep(std::min(stepMs, ms - waited));
  }
  return !cancelled();
}

namespace {

// GetSerNrs lists serial numbers behind one character; 10 of them are the first one's.
constexpr size_t kSerialListSize = 2048;
constexpr size_t kSerialWidth = 10;
// Pauses between the searches and reads, in ms of the port's clock.
constexpr DWORD kSearchPauseMs = 100;
constexpr DWORD kReadPauseMs = 200;
constexpr DWORD kMmiRevRetryMs = 400;
constexpr DWORD kReleaseWritePauseMs = 50;
// The product id whose module serial number the supply's table carries.
constexpr double kModulePartNumber = 1362500900.0;

struct Identity {
  int32_t productId;
  const char* name;
};
constexpr Identity kInstruments[] = {{5, "TR440"}, {6, "TR410"},  {7, "TR420"},
                                     {8, "TR430"}, {41, "TR810"}, {40, "TR415"}};

// The instruments in the order the search tries them: the known ones, then
// the package's own product id (named after its device type).
std::vector<Identity> InstrumentsSearched() {
  std::vector<Identity> instruments(std::begin(kInstruments), std::end(kInstruments));
  if (customerPid != 0) instruments.push_back({customerPid, nullptr});
  return instruments;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool HasLetters(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::toupper(c) != std::tolower(c); });
}

std::string Padded(const std::string& name) {
  return name.size() < 15 ? name + std::string(15 - name.size(), ' ') : name;
}

std::string Format(const char* format, int value) {
  char text[160];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string ReleaseDateText(uint16_t packedDate) {
  const int day = packedDate & 31;
  const int month = (packedDate >> 5) & 15;
  const int year = ((packedDate >> 9) & 63) + 2000;
  if (day < 1 || month < 1 || month > 12) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", month, day, year);
  return text;
}

DeviceUpdater::DeviceUpdater(const std::vector<std::string>& args) {
  ParseCommandLine(args);
  qlinkx_.Load();
  // Made before any other thread can ask whether a flash is in progress.
  Firmware();
}

bool DeviceUpdater::SetWindow(HWND window) {
  if (window == nullptr) return false;
  window_ = window;
  return true;
}

bool DeviceUpdater::CancelRequested() const {
  return cancelState_.load() == CANCEL_STATE_REQUESTED;
}

void DeviceUpdater::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
  if (HWND window = window_.load()) PostMessageA(window, message, wParam, lParam);
}

void DeviceUpdater::SetProgressStepWidth(int steps) {
  progressStepWidth_ = steps < 2 ? 100 : 90 / (steps - 1);
}

void DeviceUpdater::SetStepCounter(int n) {
  if (n >= 0) stepCounter_ = n;
}

void DeviceUpdater::SetWaits(int mmiWaitMs, int rebootWaitMs) {
  mmiWait_ = mmiWaitMs;
  rebootWait_ = rebootWaitMs;
}

int32_t DeviceUpdater::WriteDeviceRegister(int32_t deviceNumber, int32_t registerId,
                                           int32_t channel, const void* data, int32_t length) {
  return qlinkx_.SetRegister(deviceNumber, registerId, channel, data, length);
}

UsbDeviceEntry* DeviceUpdater::EntryOf(int32_t productId) {
  if (productId == record_.powerSupply.productId) return &record_.powerSupply;
  if (productId == record_.device.productId) return &record_.device;
  return nullptr;
}

int32_t DeviceUpdater::SerialNumbers(int32_t productId, std::string* first) {
  char text[kSerialListSize] = {};
  int32_t count = qlinkx_.GetSerNrs(QLINKX_VENDOR_ID, productId, text);
  text[kSerialListSize - 1] = '\0';
  if (first) {
    const std::string list = text;
    *first = list.size() > 1 ? list.substr(1, kSerialWidth) : std::string();
  }
  return count;
}

int32_t DeviceUpdater::AssignDeviceByPid(int32_t productId) {
  if (int32_t missing = qlinkx_.CheckAssignDevice(); missing < 0) return missing;
  if (SerialNumbers(productId, nullptr) != 1) return DEVICE_NOT_ONE;
  uint8_t block[18] = {};
  int32_t n = qlinkx_.AssignDevice(QLINKX_VENDOR_ID, productId, "", block);
  if (UsbDeviceEntry* entry = EntryOf(productId)) entry->deviceNumber = n;
  return n;
}

int32_t DeviceUpdater::UnassignDeviceNumber(int32_t deviceNumber) {
  if (!qlinkx_.Has(QlinkxFunction::UnAssignDevice)) return qlinkx_.UnAssignDevice(deviceNumber);
  qlinkx_.UnAssignDevice(deviceNumber);
  for (UsbDeviceEntry* entry : {&record_.powerSupply, &record_.device}) {
    if (deviceNumber >= 0 && entry->deviceNumber == deviceNumber) {
      entry->deviceNumber = -1;
      return entry->productId;
    }
  }
  LogTrace("Unassign Device called with unknown DeviceHandle\n\n");
  return 0;
}

void DeviceUpdater::ReleaseDirectly(int32_t n) {
  int32_t released = qlinkx_.UnAssignDevice(n);
  if (released < 0) return;
  for (UsbDeviceEntry* entry : {&record_.powerSupply, &record_.device}) {
    if (entry->deviceNumber == released) {
      entry->deviceNumber = -1;
      return;
    }
  }
}

int32_t DeviceUpdater::CheckUpdateMode(int32_t productId) {
  std::string serial;
  int32_t count = SerialNumbers(productId, &serial);
  // No device at all is not "present and not in update mode".
  if (count == 0) return DEVICE_NOT_ONE;
  if (count != 1) return count;
  UsbDeviceEntry* entry = EntryOf(productId);
  if (!entry || productId == 0) return -1;
  const bool updateMode = HasLetters(serial);
  entry->inUpdateMode = updateMode;
  if (entry->serialNumber.empty()) {
    entry->serialNumber = serial;
  } else if (updateMode) {
    entry->updateModeSerial = serial;
  }
  return updateMode ? 1 : 0;
}

bool DeviceUpdater::AnyInUpdateMode() {
  CheckUpdateMode(record_.powerSupply.productId);
  hwport::Sleep(kSearchPauseMs);
  CheckUpdateMode(record_.device.productId);
  return record_.powerSupply.inUpdateMode || record_.device.inUpdateMode;
}

int32_t DeviceUpdater::CountPowerSupplies() {
  LogTrace(TRACE_LEVEL_2, "Count Devices (counting new and old powersupplies)\n");
  if (!qlinkx_.IsLoaded()) return 0;
  int32_t found = std::max(SerialNumbers(PID_POWER_SUPPLY, nullptr), 0);
  hwport::Sleep(kSearchPauseMs);
  int32_t old = std::max(SerialNumbers(PID_POWER_SUPPLY_OLD, nullptr), 0);
  LogTrace(TRACE_LEVEL_2, "New Powersupplies found (PID 16):" + std::to_string(found) + "\n");
  LogTrace(TRACE_LEVEL_2, "Old Powersupplies found (PID 09):" + std::to_string(old) + "\n");
  return found + old;
}

bool DeviceUpdater::FindDevices() {
  LogTrace(TRACE_LEVEL_1, "\n\nSearching Devices ...\n");
  if (CountPowerSupplies() != 1 || CancelRequested()) return false;
  DeviceRecord found;
  std::string serial;
  if (SerialNumbers(PID_POWER_SUPPLY, &serial) == 1) {
    found.powerSupply.productId = PID_POWER_SUPPLY;
    found.powerSupply.name = "Powersupply";
  } else if (SerialNumbers(PID_POWER_SUPPLY_OLD, &serial) == 1) {
    found.powerSupply.productId = PID_POWER_SUPPLY_OLD;
    found.powerSupply.name = "Powersupply(old)";
  } else {
    LogTrace("Aborting - no powersupply found!\n\n");
    return false;
  }
  found.powerSupply.serialNumber = serial;
  hwport::Sleep(kSearchPauseMs);
  if (CancelRequested()) return false;
  hwport::Sleep(kSearchPauseMs);
  LogTrace("\n" + Padded(found.powerSupply.name) + serial + "\n");
  if (CancelRequested()) return false;

  for (const Identity& id : InstrumentsSearched()) {
    if (SerialNumbers(id.productId, &serial) != 1) continue;
    found.device.productId = id.productId;
    found.device.name = id.name ? id.name : customerDeviceName;
    found.device.serialNumber = serial;
    break;
  }
  if (found.device.productId == 0) {
    LogTrace("Aborting - No Device found!\n\n");
    return false;
  }
  LogTrace(Padded(found.device.name) + found.device.serialNumber + "\n");
  record_ = found;
  return true;
}

int32_t DeviceUpdater::CountInstrumentsOfType(const std::string& name) {
  for (const Identity& id : InstrumentsSearched()) {
    if (Lower(id.name ? id.name : customerDeviceName) == Lower(name))
      return std::max(SerialNumbers(id.productId, nullptr), 0);
  }
  return 0;
}

std::string DeviceUpdater::FirmwareRevisionOf(int32_t productId) {
  int32_t n = AssignDeviceByPid(productId);
  if (n < 0) return {};
  uint8_t words[4] = {};
  int32_t r = ReadWholeRegister(n, FAC_FIRMWARE_REVISION, words, sizeof words,
                                "Revision (" + std::to_string(productId) + ")");
  ReleaseDirectly(n);
  // A register unread, or read in part, is no revision at all: not "0.0",
  // nor "2.0" from the first word of "2.10".
  if (r < 0) return {};
  return std::to_string(le::U16(words)) + "." + std::to_string(le::U16(words + 2));
}

std::string DeviceUpdater::ReadFirmwareRevision(int32_t productId) {
  LogTrace(TRACE_LEVEL_1, "Reading Revision from Device (" + std::to_string(productId) + ") :\n");
  std::string text = FirmwareRevisionOf(productId);
  LogTrace(TRACE_LEVEL_1, "        Revision (" + std::to_string(productId) + ") :" + text + "\n");
  return text;
}

std::string DeviceUpdater::ReadPsRelease() {
  LogTrace(TRACE_LEVEL_1, "\n\nReading Revision : ");
  // The supply that was found, the new one when none was.
  const int32_t supply =
      record_.powerSupply.productId != 0 ? record_.powerSupply.productId : PID_POWER_SUPPLY;
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
  const uint8_t zeros[2] = {0, 0};
  int32_t r = WriteDeviceRegister(n, FAC_PS_UNLOCK, 0, zeros, sizeof zeros);
  std::vector<uint8_t> block;
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

int32_t DeviceUpdater::WriteReboot() {
  int32_t n = AssignDeviceByPid(record_.powerSupply.productId);
  if (n < 0) return n;
  const uint8_t zeros[2] = {0, 0};
  int32_t r = WriteDeviceRegister(n, FAC_PS_REBOOT, 0, zeros, sizeof zeros);
  UnassignDeviceNumber(n);
  if (!WaitForRestart()) return MMI_CANCELLED;
  return r < 0 ? r : 0;
}

bool DeviceUpdater::RebootPowerSupply() {
  // A wait that a cancel cut short followed a reboot the supply took: the
  // caller's next look at the cancel ends its step.
  const int32_t r = WriteReboot();
  return r == 0 || r == MMI_CANCELLED;
}

int32_t DeviceUpdater::RebootAfterMmi() { return WriteReboot(); }

std::string DeviceUpdater::GetDeviceString(int32_t productId, int32_t index) {
  int32_t n = AssignDeviceByPid(productId);
  const bool assigned = n >= 0;
  if (!assigned) {
    UsbDeviceEntry* entry = EntryOf(productId);
    if (!entry || productId == 0) return "Error - couldnt open device!";
    n = entry->deviceNumber;
  }
  std::string text = "Error";
  if (index >= 1 && index <= 7) {
    constexpr int32_t kUnits = 512;
    constexpr int32_t kAskedSize = 512;
    uint16_t units[kUnits] = {};
    int32_t size = kAskedSize;
    int32_t r = qlinkx_.GetStringDescriptor(n, index, units, &size);
    // The library's size is trusted no further than the buffer reaches. The
    // text runs as far as that size, whatever the descriptor's bLength says
    // (the shared decoding of lumetra/wire.h stops at bLength, so it would
    // cut a text longer than 126 units and one whose bLength is short).
    if (r < 0 || size < 4) size = 0;
    size = std::min(size, kUnits * 2);
    const int count = size / 2 - 1;
    text.clear();
    if (count > 0) {
      std::wstring wide;
      for (int i = 1; i <= count; ++i) wide.push_back(static_cast<wchar_t>(units[i]));
      int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), count, nullptr, 0, nullptr, nullptr);
      if (bytes > 0) {
        text.assign(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), count, text.data(), bytes, nullptr, nullptr);
      }
    }
  }
  if (assigned) UnassignDeviceNumber(n);
  return text;
}

bool DeviceUpdater::ReadAllDevData() {
  const DWORD start = hwport::TickCount();
  auto entry = [&](const char* format) {
    if (traceLevel == 2 || stringTrace)
      LogTrace(Format(format, static_cast<int>(hwport::TickCount() - start)));
  };
  auto running = [&] { return cancelState_.load() == CANCEL_STATE_RUNNING; };
  constexpr LPARAM kChecking = 107;
  entry("\n----------------------------------------\n  (%d)\tFunction ReadAllDevData\n");
  if (running()) Post(WM_UPDATE_STEP_PROGRESS, 0, kChecking);
  DeviceRecord copy = record_;
  entry("  (%d)\t\tCalling GetPSModRev(PS)\n");
  copy.psRevision = ReadFirmwareRevision(record_.powerSupply.productId);
  hwport::Sleep(kReadPauseMs);
  if (running()) Post(WM_UPDATE_STEP_PROGRESS, 2500, kChecking);
  if (CancelRequested()) return false;
  entry("  (%d)\t\tCalling GetPSModRev(Dev)\n");
  copy.deviceRevision = ReadFirmwareRevision(record_.device.productId);
  hwport::Sleep(kReadPauseMs);
  if (running()) Post(WM_UPDATE_STEP_PROGRESS, 5000, kChecking);
  if (CancelRequested()) return false;
  entry("  (%d)\t\tCalling GetMMIRev(PS)\n");
  copy.mmiRevision = GetMMIRev();
  for (int retry = 0; retry < 3 && (copy.mmiRevision == "0.0" || copy.mmiRevision == "0");
       ++retry) {
    LogTrace("    Error reading MMI Revision (" + copy.mmiRevision + ") reading again!\n");
    hwport::Sleep(kMmiRevRetryMs);
    copy.mmiRevision = GetMMIRev();
    LogTrace("    Revision from new Read : " + copy.mmiRevision + "\n");
  }
  hwport::Sleep(kReadPauseMs);
  // The device numbers are the live ones, not the copy's.
  copy.powerSupply.deviceNumber = record_.powerSupply.deviceNumber;
  copy.device.deviceNumber = record_.device.deviceNumber;
  record_ = copy;
  entry("  (%d)\t\tCalling ReadRevision(PS)\n");
  ReadPsRelease();
  if (CancelRequested()) return false;
  hwport::Sleep(kReadPauseMs);
  CheckUpdateMode(record_.powerSupply.productId);
  hwport::Sleep(kReadPauseMs);
  CheckUpdateMode(record_.device.productId);
  entry("  (%d)\t\tleaving ReadAllDevData(PS)\n----------------------------------------\n");
  return true;
}

RevisionInfo DeviceUpdater::GetRevisionInfo() const {
  return {record_.psRelease,   record_.supplyIdText,
          record_.device.name, record_.deviceRevision,
          record_.psRevision,  record_.mmiRevision,
          record_.betaText,    ReleaseDateText(record_.releaseDate),
          record_.moduleSerial};
}

void ParseCommandLine(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    const std::string a = Lower(arg);
    if (a == "-d1") {
      traceLevel = 1;
    } else if (a == "-d2" || a == "-d3" || a == "-d4" || a == "-d5") {
      traceLevel = 2;
    } else if (a == "-a") {
      automaticUpdate = true;
    } else if (a == "-s2p") {
      stringTrace = true;
    }
  }
}
