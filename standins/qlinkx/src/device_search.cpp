#include "device_search.h"

#include <windows.h>

#include "lumetra/wire.h"
#include "serial_list.h"

namespace qlinkx {
namespace {

// The driver numbers its device objects without gaps, so the first one that
// cannot be opened ends the list; the bound only guards against a runaway.
constexpr int kMaxDeviceObjects = 128;

std::string SerialOf(QlinkxDrv& drv, uint8_t index) {
  if (index == 0) return {};
  uint8_t buffer[256] = {};
  uint32_t size = sizeof buffer;
  if (ReadStringDescriptor(drv, index, buffer, &size) != 0) return {};
  return usbdrv::StringDescriptorAnsi(buffer, size);
}

}  // namespace

usbdrv::Status ReadStringDescriptor(usbdrv::TUsbDrv& drv, int index, void* buffer, uint32_t* size) {
  return drv.ReadStringDescriptor(buffer, size, static_cast<uint8_t>(index), 0x0409);
}

std::vector<FoundDevice> SearchDevices(int32_t vendorId, int32_t productId) {
  std::vector<FoundDevice> found;
  for (int number = 0; number < kMaxDeviceObjects; ++number) {
    auto drv = std::make_unique<QlinkxDrv>();
    uint32_t status = drv->OpenInstance(number, nullptr, nullptr);
    if (status == usbdrv::USBDRV_ERR_OPEN_FAILED) break;
    if (status != 0) continue;
    FoundDevice device;
    if (drv->ReadDeviceDescriptor(device.descriptor) != 0) continue;
    const wire::DeviceDescriptorView view(device.descriptor);
    if (view.VendorId() != vendorId || view.ProductId() != productId) continue;
    device.objectNumber = number;
    device.serial = SerialOf(*drv, view.SerialIndex());
    device.instance = std::move(drv);
    found.push_back(std::move(device));
  }
  return found;
}

}  // namespace qlinkx
