#include "device_table.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "corvel/corvel.h"
#include "hwport/clock.h"
#include "library.h"
#include "sessions.h"

namespace corvel {
namespace {

constexpr uint32_t kSupplyProductId = 16;
constexpr uint32_t kOldSupplyProductId = 9;
constexpr uint32_t kSupplyBlockSize = 758;
constexpr uint16_t kFacSupplyModules = 0x2200;

bool IsSupply(uint32_t productId) {
  return productId == kSupplyProductId || productId == kOldSupplyProductId;
}

uint32_t U32At(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

CRITICAL_SECTION& TablesSection() {
  static CRITICAL_SECTION* section = [] {
    auto* s = new CRITICAL_SECTION;
    InitializeCriticalSection(s);
    return s;
  }();
  return *section;
}

// A supply's module table as read, for the second pass of the refresh.
struct KeptBlock {
  uint32_t supplyId;
  std::vector<uint8_t> bytes;
};

}  // namespace

TablesLock::TablesLock() { EnterCriticalSection(&TablesSection()); }
TablesLock::~TablesLock() { LeaveCriticalSection(&TablesSection()); }

uint32_t SerialNumberOf(const uint8_t* descriptor, uint32_t length) {
  if (length > descriptor[0]) length = descriptor[0];
  std::string text;
  // UTF-16 from byte 2; the first character names no digit.
  for (uint32_t i = 4; i + 1 < length; i += 2) text += static_cast<char>(descriptor[i]);
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

DeviceTable& TheDeviceTable() {
  static DeviceTable* table = new DeviceTable;
  return *table;
}

DeviceEntry* DeviceTable::Entry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
  return entries_[index].get();
}

void DeviceTable::AddDeviceEntry(std::unique_ptr<DeviceEntry> entry) {
  if (entries_.size() < kTableSize) entries_.push_back(std::move(entry));
}

int DeviceTable::FindDevice(uint32_t vendorId, uint32_t productId, uint32_t serial) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    const DeviceEntry& e = *entries_[i];
    if (e.vendor_id == vendorId && e.product_id == productId && e.serial_number == serial)
      return static_cast<int>(i);
  }
  return -1;
}

unsigned long DeviceTable::AcquireDevice(int index, bool withQueue) {
  DeviceEntry* e = Entry(index);
  if (!e) return LM_ERROR_RSRC_NFOUND;
  if (!e->device) {
    auto device = std::make_unique<TUsbDrv>();
    uint32_t status = device->OpenInstance(e->member, set_, &usbdrv::USBDRV_INTERFACE_GUID);
    // Any failed open leaves the session without a device to work on.
    if (status != 0) return LM_ERROR_RSRC_NFOUND;
    device->ConfigureDevice();
    e->device = device.release();
  }
  if (withQueue && !e->queue) e->queue = new EventQueue;
  ++e->openCount;
  if (withQueue) ++e->queue->sessionCount;
  return LM_SUCCESS;
}

void DeviceTable::ReleaseDevice(int index, bool withQueue) {
  DeviceEntry* e = Entry(index);
  if (!e) return;
  if (e->openCount > 0) --e->openCount;
  if (withQueue && e->queue) {
    if (e->queue->sessionCount > 0) --e->queue->sessionCount;
    if (e->queue->sessionCount == 0) {
      delete e->queue;
      e->queue = nullptr;
    }
  }
  if (e->openCount == 0 && e->device) {
    delete e->device;
    e->device = nullptr;
  }
}

void DeviceTable::Empty() {
  for (auto& e : entries_) delete e->device;
  entries_.clear();
}

void DeviceTable::Release() {
  Empty();
  usbdrv::TUsbDrv::CloseInterfaceList(set_);
  set_ = nullptr;
}

void DeviceTable::ReadDevices() {
  TraceLog& log = TheLibrary().Log();
  std::vector<KeptBlock> blocks;
  for (int j = 0; j < kTableSize; ++j) {
    TUsbDrv device;
    uint32_t status = device.OpenInstance(j, set_, &usbdrv::USBDRV_INTERFACE_GUID);
    if (status == usbdrv::USBDRV_ERR_NO_MORE_MEMBERS) break;
    // A member that does not open (a refused driver version) has nothing
    // to read; it stays out of the table.
    if (status != 0) continue;
    uint8_t descriptor[18] = {};
    uint32_t length = 0;
    if (device.ReadDeviceDescriptor(descriptor, &length) != 0 || length < 18) continue;
    uint32_t vendorId = descriptor[8] | (descriptor[9] << 8);
    if (vendorId != kVendorId) continue;
    auto entry = std::make_unique<DeviceEntry>();
    entry->vendor_id = vendorId;
    entry->product_id = descriptor[10] | (descriptor[11] << 8);
    entry->member = j;
    uint8_t serial[512] = {};
    uint32_t serialLength = sizeof serial;
    if (device.ReadStringDescriptor(serial, &serialLength, descriptor[16], 0) == 0)
      entry->serial_number = SerialNumberOf(serial, serialLength);
    char line[128];
    std::snprintf(line, sizeof line, "   Device found: VID: 0x%x, PID: 0x%x, SerialNumber: 0x%x\n",
                  entry->vendor_id, entry->product_id, entry->serial_number);
    log.Write(line);
    if (IsSupply(entry->product_id)) {
      std::vector<uint8_t> block(kSupplyBlockSize, 0);
      uint32_t n = kSupplyBlockSize;
      usbdrv::VendorRequest request = usbdrv::RegisterRequest(kFacSupplyModules, 0);
      device.VendorRequestIn(block.data(), &n, request);
      if (n == 0) continue;
      entry->supplyId = U32At(&block[560]);
      blocks.push_back({entry->supplyId, std::move(block)});
    }
    AddDeviceEntry(std::move(entry));
  }
  // Instruments carried by a supply take its id.
  for (const KeptBlock& b : blocks) {
    for (int i = 0; i < 8; ++i) {
      if (b.bytes[332 + i] == 0) continue;
      uint32_t moduleSerial = U32At(&b.bytes[382 + 4 * i]);
      for (auto& e : entries_)
        if (e->vendor_id == kVendorId && !IsSupply(e->product_id) &&
            e->serial_number == moduleSerial)
          e->supplyId = b.supplyId;
    }
  }
}

unsigned long DeviceTable::Update() {
  Library& library = TheLibrary();
  TraceLog& log = library.Log();
  log.Write("In LmUpdateDeviceList:\n");
  HANDLE mutex = library.Mutex();
  DWORD wait = mutex ? hwport::WaitForObject(mutex, 1000) : WAIT_FAILED;
  if (wait == WAIT_TIMEOUT) {
    log.Write("   ERROR: wait_result == WAIT_TIMEOUT\n\n");
    return LM_ERROR_TMO;
  }
  if (wait != WAIT_OBJECT_0) {
    // An abandoned mutex is owned now all the same.
    if (wait == WAIT_ABANDONED) ReleaseMutex(mutex);
    log.Write("   ERROR: wait_result != WAIT_OBJECT_0\n\n");
    return LM_ERROR_SYSTEM_ERROR;
  }
  {
    TablesLock lock;
    DetachSessions();
    Empty();
    usbdrv::TUsbDrv::CloseInterfaceList(set_);
    set_ = usbdrv::TUsbDrv::OpenInterfaceList(&usbdrv::USBDRV_INTERFACE_GUID);
    // Without the set the members would be opened by device number instead.
    if (set_) ReadDevices();
    ReattachSessions();
  }
  ReleaseMutex(mutex);
  log.Write("   Return value LM_SUCCESS\n\n");
  return LM_SUCCESS;
}

void ClearTables() {
  TablesLock lock;
  ClearSessions();
  TheDeviceTable().Empty();
}

void ReleaseTables() {
  TablesLock lock;
  CloseAllSessions();
  TheDeviceTable().Release();
}

unsigned long UpdateDeviceTable() { return TheDeviceTable().Update(); }

}  // namespace corvel
