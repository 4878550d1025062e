#include "device/supply_link.h"

#include <algorithm>
#include <cctype>

#include "environment/log_writer.h"

namespace {

// GetSerNrs lists serial numbers behind one character; 10 of them are the first one's.
constexpr size_t kSerialListSize = 2048;
constexpr size_t kSerialWidth = 10;

}  // namespace

bool HasLetters(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::toupper(c) != std::tolower(c); });
}

UsbDeviceEntry* SupplyLink::EntryOf(int32_t productId) {
  if (productId == record_.powerSupply.productId) return &record_.powerSupply;
  if (productId == record_.device.productId) return &record_.device;
  return nullptr;
}

int32_t SupplyLink::SerialNumbers(int32_t productId, std::string* first) {
  char text[kSerialListSize] = {};
  int32_t count = qlinkx_.GetSerNrs(QLINKX_VENDOR_ID, productId, text);
  text[kSerialListSize - 1] = '\0';
  if (first) {
    const std::string list = text;
    *first = list.size() > 1 ? list.substr(1, kSerialWidth) : std::string();
  }
  return count;
}

int32_t SupplyLink::Assign(int32_t productId) {
  if (int32_t missing = qlinkx_.CheckAssignDevice(); missing < 0) return missing;
  if (SerialNumbers(productId, nullptr) != 1) return DEVICE_NOT_ONE;
  uint8_t block[18] = {};
  int32_t n = qlinkx_.AssignDevice(QLINKX_VENDOR_ID, productId, "", block);
  if (UsbDeviceEntry* entry = EntryOf(productId)) entry->deviceNumber = n;
  return n;
}

int32_t SupplyLink::Unassign(int32_t deviceNumber) {
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

void SupplyLink::Release(int32_t n) {
  int32_t released = qlinkx_.UnAssignDevice(n);
  if (released < 0) return;
  for (UsbDeviceEntry* entry : {&record_.powerSupply, &record_.device}) {
    if (entry->deviceNumber == released) {
      entry->deviceNumber = -1;
      return;
    }
  }
}
