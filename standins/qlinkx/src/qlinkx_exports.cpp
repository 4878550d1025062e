// qlinkx.dll, our stand-in for the outside USB library of the power supplies
// and instruments: seven stdcall functions over the USB driver, reached
// through the hardware port (so they run on the bench as well).
//
// Registers are control requests by FacId on channel 0..n (a read gives the
// bytes the device sent); ReadIrpt hands
// over the transfers of the interrupt endpoint 0x83 one by one. Whatever a
// register means (string packets 0x2180, reboot 0x2222, ...) is the
// device's business: the library passes every register through unchanged.
//
// Calls are serialised by one lock; a ReadIrpt holds it for at most its
// wait of 100 ms.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device_search.h"
#include "device_table.h"
#include "lumetra/sync.h"
#include "serial_list.h"

using namespace qlinkx;

namespace {

// The smallest list buffer a caller hands to GetSerNrs; the call has no size argument.
constexpr size_t kSerialListCapacity = 2000;

lm::CriticalSection g_lock;
// Made on first use and deleted when the library is unloaded; at process end
// it is left alone, since the driver may be gone by then.
DeviceTable* g_table = nullptr;

DeviceTable& Table() {
  if (!g_table) g_table = new DeviceTable;
  return *g_table;
}

// Runs one call under the lock; nothing escapes an export.
template <typename Body>
int32_t Guarded(Body body) {
  try {
    lm::Lock lock(g_lock);
    return body();
  } catch (...) {
    return QLX_ERR_TRANSFER;
  }
}

template <typename Body>
int32_t WithDevice(int32_t number, Body body) {
  return Guarded([&]() -> int32_t {
    AssignedDevice* device = Table().Find(number);
    return device ? body(*device) : QLX_ERR_INVALID_DEVICE;
  });
}

}  // namespace

extern "C" {

int32_t WINAPI AssignDevice(int32_t vendorId, int32_t productId, const char* serial, void* block) {
  return Guarded([&] { return Table().Assign(vendorId, productId, serial, block); });
}

int32_t WINAPI UnAssignDevice(int32_t device) {
  return Guarded([&] { return Table().Release(device); });
}

int32_t WINAPI GetSerNrs(int32_t vendorId, int32_t productId, char* text) {
  if (!text) return QLX_ERR_ARGUMENT;
  return Guarded([&]() -> int32_t {
    std::vector<std::string> serials;
    for (const FoundDevice& f : SearchDevices(vendorId, productId)) serials.push_back(f.serial);
    std::string list = SerialListText(serials, kSerialListCapacity);
    std::memcpy(text, list.c_str(), list.size() + 1);
    return static_cast<int32_t>(serials.size());
  });
}

int32_t WINAPI GetRegister(int32_t device, int32_t facId, int32_t channel, void* buffer,
                           int32_t length) {
  return WithDevice(
      device, [&](AssignedDevice& d) { return d.GetRegister(facId, channel, buffer, length); });
}

int32_t WINAPI SetRegister(int32_t device, int32_t facId, int32_t channel, const void* data,
                           int32_t length) {
  return WithDevice(device,
                    [&](AssignedDevice& d) { return d.SetRegister(facId, channel, data, length); });
}

int32_t WINAPI ReadIrpt(int32_t device, void* buffer, int32_t* length) {
  return WithDevice(device, [&](AssignedDevice& d) { return d.ReadIrpt(buffer, length); });
}

int32_t WINAPI GetStringDescriptor(int32_t device, int32_t index, void* buffer, int32_t* size) {
  return WithDevice(device,
                    [&](AssignedDevice& d) { return d.GetStringDescriptor(index, buffer, size); });
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // Unloaded by FreeLibrary: end every outstanding read before its buffer goes.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr && g_table) {
    try {
      g_table->ReleaseAll();
    } catch (...) {
    }
    delete g_table;
    g_table = nullptr;
  }
  return TRUE;
}

}  // extern "C"
