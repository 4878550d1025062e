// The table of the maker's devices that the USBDRV driver serves, rebuilt by
// each refresh, and the device objects that sessions acquire on them.
//
// Ownership: a device object and an event queue belong to the sessions that
// use them (shared); an entry only points at them (weak), so a refresh that
// empties the table frees nothing a session or a running transfer still uses.
//
// Lock order, the same on every thread: the mutex "CorvelDll", then the
// event-pipe lock, then the tables lock, then a queue's, a device object's or
// the trace log's own lock. Nobody waits for the mutex while holding one of
// the library's locks.
#pragma once

#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "event_queue.h"
#include "lumetra/device_protocol.h"
#include "lumetra/sync.h"
#include "status.h"
#include "usb_access.h"

namespace corvel {

constexpr int kTableSize = 256;

struct DeviceEntry {
  uint32_t vendor_id = 0;
  uint32_t product_id = 0;
  uint32_t serial_number = 0;
  uint32_t supplyId = 0;
  // Open while a session uses the device.
  std::weak_ptr<TUsbDrv> device;
  // The queue of the device's sessions, while there are any.
  std::weak_ptr<EventQueue> queue;
  // The interface member the entry was found at: members the table leaves
  // out (other makers' devices, a supply without module table) would shift
  // the entry's own index away from it.
  int member = 0;
};

class DeviceTable {
 public:
  // Rebuilds the table under the mutex "CorvelDll"; a status code.
  Status Update();
  // The first entry with all three ids equal, or -1.
  int FindDevice(uint32_t vendorId, uint32_t productId, uint32_t serial) const;
  // The entry's device object, opened and configured when no session holds
  // it yet; LM_ERROR_RSRC_NFOUND when the entry is missing or will not open.
  Status AcquireDevice(int index, std::shared_ptr<TUsbDrv>* device);
  // The entry's event queue, made when no session holds it yet.
  std::shared_ptr<EventQueue> AcquireQueue(int index);
  void AddDeviceEntry(std::unique_ptr<DeviceEntry> entry);

  uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
  DeviceEntry* Entry(int index);
  // Deletes every entry (device objects and queues stay with their sessions).
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
lm::CriticalSection& TablesSection();
class TablesLock : public lm::Lock {
 public:
  TablesLock() : lm::Lock(TablesSection()) {}
};

DeviceTable& TheDeviceTable();

// Clears the session table and the device table (library start).
void ClearTables();

// Closes every session, deletes every device entry and destroys the device
// information set (library end).
void ReleaseTables();

// Rebuilds the device table from the present devices; a status code.
Status UpdateDeviceTable();

// The decimal value of a string descriptor's text from its second character.
uint32_t SerialNumberOf(const uint8_t* descriptor, uint32_t length);

}  // namespace corvel
