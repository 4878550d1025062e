// Driver calls as the driver classes make them, straight through the port.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hwport/usb_driver.h"

namespace benchtest {

// One I/O control request with an OVERLAPPED and its event; the status.
inline uint32_t Ioctl(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                      DWORD* bytes = nullptr) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD n = 0;
  uint32_t status = 0;
  if (!hwport::DriverIoControl(h, code, const_cast<void*>(in), inSize, out, outSize, &n, &ov)) {
    status = GetLastError();
    if (status == ERROR_IO_PENDING)
      status = hwport::DriverOverlappedResult(h, &ov, &n, TRUE) ? 0 : GetLastError();
  }
  CloseHandle(ov.hEvent);
  if (bytes) *bytes = n;
  return status;
}

inline std::vector<uint8_t> VendorRecord(uint16_t facId, uint16_t wIndex = 0) {
  std::vector<uint8_t> r = {0, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x35, 0, 0, 0, 0};
  r[14] = static_cast<uint8_t>(facId);
  r[15] = static_cast<uint8_t>(facId >> 8);
  r[16] = static_cast<uint8_t>(wIndex);
  r[17] = static_cast<uint8_t>(wIndex >> 8);
  return r;
}

inline std::vector<uint8_t> Configure1() {
  std::vector<uint8_t> r(260, 0);
  r[2] = 1;                  // one interface
  r[8] = 0x00, r[9] = 0x10;  // max transfer 4096
  return r;
}

}  // namespace benchtest
