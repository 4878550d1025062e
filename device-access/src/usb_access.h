// The library's driver object: one per device, serving endpoint 0 and,
// bound to one endpoint at a time, the pipes. It is the flash library's
// class with a stricter driver API version rule, a fixed configuration and
// synchronous reads.
#pragma once

#include <cstdint>

#include "tessaro/usbdrv.h"

namespace corvel {

using tessaro::USBDRV_ERR_TIMEOUT;

// The only driver API version this library works with.
constexpr uint16_t kDriverApiVersion = 0x0141;

class TUsbDrv : public tessaro::TUsbDrvPipe {
 public:
  using tessaro::TUsbDrv::ReadStringDescriptor;
  uint32_t ReadStringDescriptor(void* buffer, uint32_t* length, uint8_t index, uint16_t language);

  // A write whose wait timed out is cancelled; the result is the status of
  // that first wait, so a time-out reads as USBDRV_ERR_TIMEOUT.
  uint32_t TransferOut(const void* data, uint32_t* length, DWORD ms);
  // The synchronous read twin of TransferOut; `length` goes in as the
  // buffer size and comes back as the byte count.
  uint32_t TransferIn(void* data, uint32_t* length, DWORD ms);

  // Interface 0, alternate setting 0, transfers up to 64 KiB.
  uint32_t ConfigureDevice();

 protected:
  // Any other version is refused without asking anyone.
  bool AcceptDriver(const tessaro::DriverInfoRecord& info) override;
};

}  // namespace corvel
