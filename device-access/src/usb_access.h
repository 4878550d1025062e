// The library's driver object: one per device, serving endpoint 0 and,
// bound to one endpoint at a time, the pipes. It is the shared driver class
// with a stricter driver API version rule, a fixed configuration and
// synchronous reads.
#pragma once

#include <cstdint>

#include "usbdrv/usbdrv.h"

namespace corvel {

using usbdrv::USBDRV_ERR_TIMEOUT;

// The only driver API version this library works with.
constexpr uint16_t kDriverApiVersion = 0x0141;

// Any other version is refused without asking anyone.
bool AcceptDriver(const usbdrv::DriverInfoRecord& info);

class TUsbDrv : public usbdrv::TUsbDrvPipe {
 public:
  TUsbDrv() : usbdrv::TUsbDrvPipe(&AcceptDriver) {}

  // A transfer whose wait timed out is cancelled; the result is the status
  // of that first wait, so a time-out reads as USBDRV_ERR_TIMEOUT. `length`
  // goes in as the byte count (the buffer size) and comes back as the bytes
  // moved.
  usbdrv::Status TransferOut(const void* data, uint32_t* length, DWORD ms) {
    return Transfer(usbdrv::Direction::Out, const_cast<void*>(data), length, ms,
                    usbdrv::TimeoutResult::Timeout);
  }
  usbdrv::Status TransferIn(void* data, uint32_t* length, DWORD ms) {
    return Transfer(usbdrv::Direction::In, data, length, ms, usbdrv::TimeoutResult::Timeout);
  }

  // Interface 0, alternate setting 0, transfers up to 64 KiB.
  usbdrv::Status ConfigureDevice();
};

}  // namespace corvel
