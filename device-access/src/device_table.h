// The table of the maker's devices that the USBDRV driver serves, rebuilt by
// each refresh, and the device objects that sessions acquire on them.
#pragma once

#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "usb_access.h"

namespace corvel {

constexpr uint32_t kVendorId = 0x0E7B;
constexpr int kTableSize = 256;

// One event of the device's interrupt pipe.
struct DeviceEvent {
  uint16_t EventId = 0;
  uint32_t lParam = 0;
  uint16_t wParam = 0;
};

// The events of one device, shared by all its sessions.
struct EventQueue {
  uint32_t sessionCount = 0;
  std::deque<DeviceEvent> events;
};

struct DeviceEntry {
  uint32_t vendor_id = 0;
  uint32_t product_id = 0;
  uint32_t serial_number = 0;
  uint32_t supplyId = 0;
  TUsbDrv* device = nullptr;  // null while no session uses the device
  EventQueue* queue = nullptr;
  uint32_t openCount = 0;
  // The interface member the entry was found at: members the table leaves
  // out (other makers' devices, a supply without module table) would shift
  // the entry's own index away from it.
  int member = 0;
};

class DeviceTable {
 public:
  // Rebuilds the table under the mutex "CorvelDll"; a status code.
  unsigned long Update();
  // The first entry with all three ids equal, or -1.
  int FindDevice(uint32_t vendorId, uint32_t productId, uint32_t serial) const;
  // Opens the entry's device object when it has none (and with queue makes
  // its event queue) and counts the acquisition.
  unsigned long AcquireDevice(int index, bool withQueue);
  void ReleaseDevice(int index, bool withQueue);
  void AddDeviceEntry(std::unique_ptr<DeviceEntry> entry);

  uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
  DeviceEntry* Entry(int index);
  // Deletes every entry and its device object (not the queues).
  void Empty();
  // Library end: empties the table and destroys the device information set.
  void Release();

 private:
  void ReadDevices();
  std::vector<std::unique_ptr<DeviceEntry>> entries_;
  HDEVINFO set_ = nullptr;
};

// The tables' lock: the refresh runs on the change window's thread while
// callers open, use and close sessions on theirs.
class TablesLock {
 public:
  TablesLock();
  ~TablesLock();
  TablesLock(const TablesLock&) = delete;
  TablesLock& operator=(const TablesLock&) = delete;
};

DeviceTable& TheDeviceTable();

// Clears the session table and the device table (library start).
void ClearTables();

// Closes every session, deletes every device entry and destroys the device
// information set (library end).
void ReleaseTables();

// Rebuilds the device table from the present devices; a status code.
unsigned long UpdateDeviceTable();

// The decimal value of a string descriptor's text from its second character.
uint32_t SerialNumberOf(const uint8_t* descriptor, uint32_t length);

}  // namespace corvel
