// The flash library's rule for the USB driver's API version, given to every
// driver object the library makes: 0x0130 or 0x0141 on Windows 98 and 2000,
// 0x0141 on Windows XP; otherwise the user is asked whether to go on.
#pragma once

#include <cstdint>
#include <string>

#include "usbdrv/usbdrv.h"

namespace tessaro {

// Accept or refuse the driver (may show the warning box and wait for it).
bool DriverApiPolicy(const usbdrv::DriverInfoRecord& info);

// The process-wide state of that rule.
struct DriverApiPolicyState {
  uint32_t AcceptedVersion = 0;
  uint8_t WindowsKind = 0;  // 0 unknown, 1 Windows 98, 2 Windows 2000, 3 Windows XP
  bool DriverApi0141 = true;
  // Reads "ProductName" of a local-machine key (tests replace it).
  std::string (*ReadProductName)(const char* key) = nullptr;
};
DriverApiPolicyState& DriverApiState();

// The driver classes as the flash library makes them: with its rule.
class TUsbDrv : public usbdrv::TUsbDrv {
 public:
  TUsbDrv() : usbdrv::TUsbDrv(&DriverApiPolicy) {}
};
class TUsbDrvPipe : public usbdrv::TUsbDrvPipe {
 public:
  TUsbDrvPipe() : usbdrv::TUsbDrvPipe(&DriverApiPolicy) {}
};

}  // namespace tessaro
