#include "hwport/usb_driver.h"

#include "hwport/backend.h"

namespace hwport {

HANDLE DriverOpen(const char* path) { return ActiveBackend().driverOpen(path); }

BOOL DriverIoControl(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytes, OVERLAPPED* ov) {
  return ActiveBackend().driverIoControl(h, code, in, inSize, out, outSize, bytes, ov);
}

BOOL DriverRead(HANDLE h, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  return ActiveBackend().driverRead(h, buffer, length, bytes, ov);
}

BOOL DriverWrite(HANDLE h, const void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  return ActiveBackend().driverWrite(h, buffer, length, bytes, ov);
}

BOOL DriverOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait) {
  return ActiveBackend().driverOverlappedResult(h, ov, bytes, wait);
}

BOOL DriverCancelIo(HANDLE h) { return ActiveBackend().driverCancelIo(h); }

BOOL DriverClose(HANDLE h) { return ActiveBackend().driverClose(h); }

HDEVINFO InterfaceListOpen(const GUID* guid) { return ActiveBackend().interfaceListOpen(guid); }

BOOL InterfaceListEnum(HDEVINFO set, const GUID* guid, DWORD index,
                       SP_DEVICE_INTERFACE_DATA* data) {
  return ActiveBackend().interfaceListEnum(set, guid, index, data);
}

BOOL InterfaceListDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                         SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required) {
  return ActiveBackend().interfaceListDetail(set, data, detail, size, required);
}

BOOL InterfaceListClose(HDEVINFO set) { return ActiveBackend().interfaceListClose(set); }

HDEVNOTIFY RegisterInterfaceNotices(HWND window, const GUID* classGuid) {
  return ActiveBackend().registerNotices(window, classGuid);
}

BOOL UnregisterInterfaceNotices(HDEVNOTIFY notify) {
  return ActiveBackend().unregisterNotices(notify);
}

}  // namespace hwport
