// The device search: the one power supply and its instrument found by
// their product ids and serial numbers, and whether either is in its update
// mode.
#include <algorithm>
#include <cctype>

#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "lumetra/device_protocol.h"

namespace {

// Pauses between the searches, in ms of the port's clock.
constexpr DWORD kSearchPauseMs = 100;

struct Identity {
  int32_t productId;
  const char* name;
};
constexpr Identity kInstruments[] = {{5, "TR440"}, {6, "TR410"},  {7, "TR420"},
                                     {8, "TR430"}, {41, "TR810"}, {40, "TR415"}};

// The instruments in the order the search tries them: the known ones, then
// the package's own product id (named after its device type).
std::vector<Identity> InstrumentsSearched(const CustomerDevice& customer) {
  std::vector<Identity> instruments(std::begin(kInstruments), std::end(kInstruments));
  if (customer.productId != 0) instruments.push_back({customer.productId, nullptr});
  return instruments;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Padded(const std::string& name) {
  return name.size() < 15 ? name + std::string(15 - name.size(), ' ') : name;
}

}  // namespace

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
  int32_t found = std::max(SerialNumbers(lm::kPowerSupplyProductId, nullptr), 0);
  hwport::Sleep(kSearchPauseMs);
  int32_t old = std::max(SerialNumbers(lm::kOldPowerSupplyProductId, nullptr), 0);
  LogTrace(TRACE_LEVEL_2, "New Powersupplies found (PID 16):" + std::to_string(found) + "\n");
  LogTrace(TRACE_LEVEL_2, "Old Powersupplies found (PID 09):" + std::to_string(old) + "\n");
  return found + old;
}

bool DeviceUpdater::FindDevices() {
  LogTrace(TRACE_LEVEL_1, "\n\nSearching Devices ...\n");
  if (CountPowerSupplies() != 1 || CancelRequested()) return false;
  DeviceRecord found;
  std::string serial;
  if (SerialNumbers(lm::kPowerSupplyProductId, &serial) == 1) {
    found.powerSupply.productId = lm::kPowerSupplyProductId;
    found.powerSupply.name = "Powersupply";
  } else if (SerialNumbers(lm::kOldPowerSupplyProductId, &serial) == 1) {
    found.powerSupply.productId = lm::kOldPowerSupplyProductId;
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

  for (const Identity& id : InstrumentsSearched(customer_)) {
    if (SerialNumbers(id.productId, &serial) != 1) continue;
    found.device.productId = id.productId;
    found.device.name = id.name ? id.name : customer_.name;
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
  for (const Identity& id : InstrumentsSearched(customer_)) {
    if (Lower(id.name ? id.name : customer_.name) == Lower(name))
      return std::max(SerialNumbers(id.productId, nullptr), 0);
  }
  return 0;
}
