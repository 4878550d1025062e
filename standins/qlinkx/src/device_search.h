// The search for devices over the USB driver's device objects
// "\\.\USBDRV_Device0", "\\.\USBDRV_Device1", ... by vendor and product id.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lumetra/wire.h"
#include "usbdrv/usbdrv.h"

namespace qlinkx {

// One driver instance of qlinkx. qlinkx works with whatever driver API
// version the driver reports; it has no rule of its own about it.
inline bool AcceptAnyDriver(const usbdrv::DriverInfoRecord&) { return true; }
class QlinkxDrv : public usbdrv::TUsbDrvPipe {
 public:
  QlinkxDrv() : usbdrv::TUsbDrvPipe(&AcceptAnyDriver) {}
};

// A device the search found, with its device object still open.
struct FoundDevice {
  int objectNumber = 0;
  uint8_t descriptor[wire::DeviceDescriptor::kSize] = {};
  std::string serial;  // the serial-number string in the ANSI code page; empty when it has none
  std::unique_ptr<QlinkxDrv> instance;
};

// Every device with these ids, in the order of the driver's device objects.
std::vector<FoundDevice> SearchDevices(int32_t vendorId, int32_t productId);

// Reads string descriptor `index` into buffer (at most *size bytes, language
// 0x0409); *size gets the bytes received. The driver's status.
usbdrv::Status ReadStringDescriptor(usbdrv::TUsbDrv& drv, int index, void* buffer, uint32_t* size);

}  // namespace qlinkx
