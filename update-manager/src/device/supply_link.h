// The link to the power supply and its instrument over qlinkx: their serial
// numbers, their device numbers assigned and given back (in the record's
// entries), and the one recovery of a device number that went stale when
// the supply restarted.
#pragma once

#include <cstdint>
#include <string>

#include "device/device_records.h"
#include "qlinkx/qlinkx_library.h"

// A serial number with letters: the device gave it in its update mode.
bool HasLetters(const std::string& text);

class SupplyLink {
 public:
  SupplyLink(QlinkxLibrary& qlinkx, DeviceRecord& record) : qlinkx_(qlinkx), record_(record) {}

  QlinkxLibrary& Library() { return qlinkx_; }
  // The entry of the found supply or instrument with this product id, or null.
  UsbDeviceEntry* EntryOf(int32_t productId);
  UsbDeviceEntry& Supply() { return record_.powerSupply; }
  // GetSerNrs' count for the product id; `first`, when given, gets the first
  // serial number listed (10 characters).
  int32_t SerialNumbers(int32_t productId, std::string* first);
  // The device number of the one device with this product id (kept in its
  // entry), or a negative result: DEVICE_NOT_ONE when there is not exactly one.
  int32_t Assign(int32_t productId);
  // The product id of the released entry, or 0.
  int32_t Unassign(int32_t deviceNumber);
  // Releases n directly with UnAssignDevice and clears the entry that held it.
  void Release(int32_t n);
  // The supply restarted under a number it no longer knows: that number is
  // given back and the device with this product id assigned again.
  int32_t Renew(int32_t staleNumber, int32_t productId) {
    Unassign(staleNumber);
    return Assign(productId);
  }
  int32_t WriteRegister(int32_t deviceNumber, int32_t registerId, int32_t channel, const void* data,
                        int32_t length) {
    return qlinkx_.SetRegister(deviceNumber, registerId, channel, data, length);
  }

 private:
  QlinkxLibrary& qlinkx_;
  DeviceRecord& record_;
};
