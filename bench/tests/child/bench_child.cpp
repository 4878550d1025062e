// A second process on the same bench file: reads or writes one 2-byte
// register of device 0 and ends with the value read (0xFFFF: failed).
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "hwport/usb_driver.h"

namespace {

DWORD Request(HANDLE h, DWORD code, uint16_t facId, uint8_t* data) {
  uint8_t request[18] = {0, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x35};
  request[14] = static_cast<uint8_t>(facId);
  request[15] = static_cast<uint8_t>(facId >> 8);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD n = 0;
  BOOL ok = hwport::DriverIoControl(h, code, request, sizeof request, data, 2, &n, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING)
    ok = hwport::DriverOverlappedResult(h, &ov, &n, TRUE);
  CloseHandle(ov.hEvent);
  return ok ? n : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 0xFFFF;
  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  if (h == INVALID_HANDLE_VALUE) return 0xFFFF;
  uint16_t facId = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 0));
  uint8_t data[2] = {};
  int result = 0xFFFF;
  if (argv[1][0] == 'w' && argc > 3) {
    uint16_t v = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 0));
    data[0] = static_cast<uint8_t>(v);
    data[1] = static_cast<uint8_t>(v >> 8);
    if (Request(h, 0x80942035, facId, data) == 2) result = v;
  } else if (Request(h, 0x80942032, facId, data) == 2) {
    result = data[0] | data[1] << 8;
  }
  hwport::DriverClose(h);
  return result;
}
