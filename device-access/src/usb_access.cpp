#include "usb_access.h"

namespace corvel {

bool AcceptDriver(const usbdrv::DriverInfoRecord& info) {
  return info.APIVersion == kDriverApiVersion;
}

usbdrv::Status TUsbDrv::ConfigureDevice() {
  usbdrv::ConfigurationRequest request{
      .ConfigurationIndex = 0,
      .InterfaceCount = 1,
      .Interfaces = {{.InterfaceIndex = 0, .AlternateSetting = 0, .MaxTransferSize = 0x10000}}};
  return ApplyConfiguration(request);
}

}  // namespace corvel
