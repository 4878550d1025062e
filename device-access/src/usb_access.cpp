#include "usb_access.h"

namespace corvel {

bool TUsbDrv::AcceptDriver(const tessaro::DriverInfoRecord& info) {
  return info.APIVersion == kDriverApiVersion;
}

uint32_t TUsbDrv::ReadStringDescriptor(void* buffer, uint32_t* length, uint8_t index,
                                       uint16_t language) {
  return ReadDescriptor(buffer, length, 0, 3, index, language);
}

uint32_t TUsbDrv::TransferOut(const void* data, uint32_t* length, DWORD ms) {
  tessaro::TUsbDrvBuf buffer(const_cast<void*>(data), *length);
  buffer.BytesToTransfer = *length;
  buffer.BytesDone = 0;
  StartWrite(buffer);
  uint32_t status = AwaitTransfer(buffer, ms);
  if (status == USBDRV_ERR_TIMEOUT) {
    // The buffer must not be released while the driver still holds it.
    CancelTransfers();
    AwaitTransfer(buffer, INFINITE);
  }
  *length = buffer.BytesDone;
  return status;
}

uint32_t TUsbDrv::TransferIn(void* data, uint32_t* length, DWORD ms) {
  tessaro::TUsbDrvBuf buffer(data, *length);
  buffer.BytesToTransfer = *length;
  buffer.BytesDone = 0;
  StartRead(buffer);
  uint32_t status = AwaitTransfer(buffer, ms);
  if (status == USBDRV_ERR_TIMEOUT) {
    CancelTransfers();
    AwaitTransfer(buffer, INFINITE);
  }
  *length = buffer.BytesDone;
  return status;
}

uint32_t TUsbDrv::ConfigureDevice() {
  tessaro::ConfigurationRequest request{};
  request.ConfigurationIndex = 0;
  request.InterfaceCount = 1;
  request.Interfaces[0] = {0, 0, 0x10000};
  return ApplyConfiguration(request);
}

}  // namespace corvel
