#include "tessaro/device_list.h"

#include <windows.h>

#include <cstring>

#include "lumetra/wire.h"
#include "tessaro/device_error.h"
#include "tessaro/driver_policy.h"
#include "tessaro/format_text.h"
#include "tessaro/run_events.h"

namespace tessaro {
namespace {

std::string ReadText(TUsbDrv& drv, uint8_t index) {
  if (index == 0) return {};
  uint8_t buffer[512];
  uint32_t length = sizeof buffer;
  if (drv.ReadStringDescriptor(buffer, &length, index) != 0) return {};
  return usbdrv::StringDescriptorAnsi(buffer, length);
}

void ShowApiRefusal(const usbdrv::DriverInfoRecord& info) {
  std::string text = FormatText(
      "%s\r\nActual Driver:\r\n - APIVersion: %1:d (0x%1:4.4X)\r\n - DriverVersion: %2:d "
      "(0x%2:4.4X)\r\n - DriverBuildNumber: %3:d (0x%3:8.8X)\r\n - Flags: %4:d (0x%4:8.8X)",
      {usbdrv::DriverStatusText(usbdrv::USBDRV_ERR_API_VERSION), info.APIVersion,
       info.DriverVersion, info.DriverBuildNumber, info.Flags});
  LibraryAsk({text, "Error", MB_OK | MB_ICONERROR});
}

}  // namespace

TDeviceList::TDeviceList() {
  TUsbDrv drv;
  HDEVINFO set = TUsbDrv::OpenInterfaceList(&usbdrv::USBDRV_INTERFACE_GUID);
  // A bound on the members guards against a list that never ends.
  for (int n = 0; n < 256; ++n) {
    usbdrv::Status status = drv.OpenInstance(n, set, &usbdrv::USBDRV_INTERFACE_GUID);
    if (status == usbdrv::USBDRV_ERR_API_VERSION) {
      ShowApiRefusal(drv.DriverInfo);
      break;
    }
    // No such member: the end of the list.
    if (status == usbdrv::USBDRV_ERR_NO_MORE_MEMBERS) break;
    // A device that cannot be opened (or is gone since the snapshot) is
    // skipped, so the devices after it are still listed; a failure of the
    // list itself (a system error) ends the scan.
    if (status != 0) {
      bool deviceFailed =
          status == usbdrv::USBDRV_ERR_OPEN_FAILED ||
          ((status & 0xE0000000u) == 0xE0000000u && status != usbdrv::USBDRV_ERR_NO_MEMORY);
      if (!set || !deviceFailed) break;
      continue;
    }
    uint8_t descriptor[wire::DeviceDescriptor::kSize] = {};
    uint32_t length = 0;
    // A short answer holds no ids and string indices to go by: such a
    // device is left out like one whose descriptor cannot be read.
    if (drv.ReadDeviceDescriptor(descriptor, &length) == 0 && length == sizeof descriptor) {
      const wire::DeviceDescriptorView view(descriptor);
      auto info = std::make_unique<TDeviceInfo>(static_cast<uint16_t>(n), view.VendorId(),
                                                view.ProductId());
      info->Product = KeepText(ReadText(drv, view.ProductIndex()));
      info->Manufacturer = KeepText(ReadText(drv, view.ManufacturerIndex()));
      info->SerialNumber = KeepText(ReadText(drv, view.SerialIndex()));
      items_.push_back(std::move(info));
    }
    drv.CloseInstance();
  }
  TUsbDrv::CloseInterfaceList(set);
}

TDeviceList::~TDeviceList() { Clear(); }

void TDeviceList::Clear() { items_.clear(); }

TDeviceInfo* TDeviceList::GetDevice(int index) {
  try {
    if (index < 0 || index >= Count())
      throw EDeviceError(
          FormatText("Index of device (%d) out of bounds(%d..%d)", {index, 0, Count() - 1}));
    return items_[static_cast<size_t>(index)].get();
  } catch (const EDeviceError& e) {
    throw EDeviceError(FormatText("Velquo.dll DeviceList.GetDevice: \"%s\"", {e.Message()}));
  }
}

TDeviceInfo* TUsbDevices::GetDevice(int index) {
  if (!list_)
    throw EDeviceError(
        FormatText("Velquo.dll DeviceList.GetDevice: \"%s\"", {"Isn't create device list"}));
  return list_->GetDevice(index);
}

}  // namespace tessaro
