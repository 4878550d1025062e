#include "device_table.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "corvel/corvel.h"
#include "library.h"
#include "lumetra/wire.h"
#include "mutex_gate.h"
#include "sessions.h"
#include "vendor_request.h"

namespace corvel {
namespace {

// A supply's module table as read, for the second pass of the refresh.
struct KeptBlock {
  uint32_t supplyId;
  std::vector<uint8_t> bytes;
};

}  // namespace

lm::CriticalSection& TablesSection() {
  // Never destroyed: the watcher's thread may still refresh while the
  // process ends.
  static lm::CriticalSection* section = new lm::CriticalSection;
  return *section;
}

uint32_t SerialNumberOf(const uint8_t* descriptor, uint32_t length) {
  std::string text = wire::StringDescriptorText({descriptor, length});
  // The first character names no digit.
  if (text.empty()) return 0;
  return static_cast<uint32_t>(std::strtoul(text.c_str() + 1, nullptr, 10));
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

Status DeviceTable::AcquireDevice(int index, std::shared_ptr<TUsbDrv>* device) {
  DeviceEntry* e = Entry(index);
  if (!e) return LM_ERROR_RSRC_NFOUND;
  std::shared_ptr<TUsbDrv> held = e->device.lock();
  if (!held) {
    held = std::make_shared<TUsbDrv>();
    usbdrv::Status status = held->OpenInstance(e->member, set_, &usbdrv::USBDRV_INTERFACE_GUID);
    // Any failed open leaves the session without a device to work on.
    if (status != 0) return LM_ERROR_RSRC_NFOUND;
    held->ConfigureDevice();
    e->device = held;
  }
  *device = std::move(held);
  return LM_SUCCESS;
}

std::shared_ptr<EventQueue> DeviceTable::AcquireQueue(int index) {
  DeviceEntry* e = Entry(index);
  if (!e) return nullptr;
  std::shared_ptr<EventQueue> queue = e->queue.lock();
  if (!queue) {
    queue = std::make_shared<EventQueue>();
    e->queue = queue;
  }
  return queue;
}

void DeviceTable::Empty() { entries_.clear(); }

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
    usbdrv::Status status = device.OpenInstance(j, set_, &usbdrv::USBDRV_INTERFACE_GUID);
    if (status == usbdrv::USBDRV_ERR_NO_MORE_MEMBERS) break;
    // A member that does not open (a refused driver version) has nothing
    // to read; it stays out of the table.
    if (status != 0) continue;
    uint8_t descriptor[wire::DeviceDescriptor::kSize] = {};
    uint32_t length = 0;
    if (device.ReadDeviceDescriptor(descriptor, &length) != 0) continue;
    wire::DeviceDescriptorView view({descriptor, length});
    if (!view.Valid() || view.VendorId() != lm::kVandrelVendorId) continue;
    auto entry = std::make_unique<DeviceEntry>();
    entry->vendor_id = view.VendorId();
    entry->product_id = view.ProductId();
    entry->member = j;
    uint8_t serial[512] = {};
    uint32_t serialLength = sizeof serial;
    if (device.ReadStringDescriptor(serial, &serialLength, view.SerialIndex(), 0) == 0)
      entry->serial_number = SerialNumberOf(serial, serialLength);
    char line[128];
    std::snprintf(line, sizeof line, "   Device found: VID: 0x%x, PID: 0x%x, SerialNumber: 0x%x\n",
                  entry->vendor_id, entry->product_id, entry->serial_number);
    log.Write(line);
    if (lm::IsPowerSupply(entry->product_id)) {
      // A short read leaves the rest of the block zero.
      std::vector<uint8_t> block(wire::SupplyBlock::kSize, 0);
      uint32_t n = static_cast<uint32_t>(block.size());
      device.VendorRequestIn(block.data(), &n, usbdrv::RegisterRequest(FAC_PS_MODULES, 0));
      if (n == 0) continue;
      entry->supplyId = wire::SupplyBlockView(block).SupplyId();
      blocks.push_back({entry->supplyId, std::move(block)});
    }
    AddDeviceEntry(std::move(entry));
  }
  // Instruments carried by a supply take its id.
  for (const KeptBlock& b : blocks) {
    wire::SupplyBlockView view(b.bytes);
    for (size_t i = 0; i < wire::SupplyBlock::kModuleCount; ++i) {
      if (view.Installed(i) == 0) continue;
      for (auto& e : entries_)
        if (e->vendor_id == lm::kVandrelVendorId && !lm::IsPowerSupply(e->product_id) &&
            e->serial_number == view.ModuleSerial(i))
          e->supplyId = b.supplyId;
    }
  }
}

Status DeviceTable::Update() {
  TraceLog& log = TheLibrary().Log();
  log.Write("In LmUpdateDeviceList:\n");
  DWORD wait = AcquireLibraryMutex();
  if (wait == WAIT_TIMEOUT) {
    log.Write("   ERROR: wait_result == WAIT_TIMEOUT\n\n");
    return LM_ERROR_TMO;
  }
  if (wait != WAIT_OBJECT_0) {
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
  ReleaseLibraryMutex();
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

Status UpdateDeviceTable() { return TheDeviceTable().Update(); }

}  // namespace corvel
