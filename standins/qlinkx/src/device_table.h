// The device numbers qlinkx hands out: each stands for one assigned device
// until it is released. A device assigned again keeps its number, so two
// callers never read each other's interrupt transfers through two handles.
#pragma once

#include <cstdint>
#include <memory>

#include "assigned_device.h"

namespace qlinkx {

class DeviceTable {
 public:
  static constexpr int kSize = 64;

  // The device number of the first device with these ids (and this serial
  // number, unless it is null or empty); block gets its device descriptor.
  int32_t Assign(int32_t vendorId, int32_t productId, const char* serial, void* block);
  // The released number, or -20 when it was not assigned.
  int32_t Release(int32_t number);
  // Null for a number that is not assigned.
  AssignedDevice* Find(int32_t number);
  void ReleaseAll();

 private:
  std::unique_ptr<AssignedDevice> slots_[kSize];
};

}  // namespace qlinkx
