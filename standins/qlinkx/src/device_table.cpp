#include "device_table.h"

#include <cstring>
#include <string>

#include "device_search.h"

namespace qlinkx {

int32_t DeviceTable::Assign(int32_t vendorId, int32_t productId, const char* serial, void* block) {
  const std::string wanted = serial ? serial : "";
  std::vector<FoundDevice> found = SearchDevices(vendorId, productId);
  FoundDevice* device = nullptr;
  for (FoundDevice& f : found)
    if (wanted.empty() || f.serial == wanted) {
      device = &f;
      break;
    }
  if (!device) return QLX_ERR_NO_DEVICE;
  if (block) std::memcpy(block, device->descriptor, sizeof device->descriptor);

  int32_t freeSlot = -1;
  for (int32_t n = 0; n < kSize; ++n) {
    if (!slots_[n]) {
      if (freeSlot < 0) freeSlot = n;
      continue;
    }
    if (!slots_[n]->Is(vendorId, productId, device->serial)) continue;
    if (slots_[n]->Alive()) return n;
    // The device left and came back: its old number starts over.
    slots_[n].reset();
    if (freeSlot < 0 || n < freeSlot) freeSlot = n;
  }
  if (freeSlot < 0) return QLX_ERR_TABLE_FULL;
  slots_[freeSlot] = std::make_unique<AssignedDevice>(std::move(*device));
  return freeSlot;
}

int32_t DeviceTable::Release(int32_t number) {
  if (!Find(number)) return QLX_ERR_INVALID_DEVICE;
  slots_[number].reset();
  return number;
}

AssignedDevice* DeviceTable::Find(int32_t number) {
  if (number < 0 || number >= kSize) return nullptr;
  return slots_[number].get();
}

void DeviceTable::ReleaseAll() {
  for (auto& slot : slots_) slot.reset();
}

}  // namespace qlinkx
