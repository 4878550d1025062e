// The port's door to the USB kernel driver: device objects, I/O control
// requests, overlapped pipe transfers, the interface list of a device
// interface class, and device-change notices for interface classes. Each call
// is the backend's operation of the same name (hwport/backend.h), which says
// what it blocks on and which statuses it returns.
#pragma once

#include <windows.h>
// after windows.h
#include <setupapi.h>

namespace hwport {

// CreateFileA(path, read/write, share read/write, open existing, overlapped).
HANDLE DriverOpen(const char* path);
BOOL DriverIoControl(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytes, OVERLAPPED* ov);
BOOL DriverRead(HANDLE h, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov);
BOOL DriverWrite(HANDLE h, const void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov);
BOOL DriverOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait);
BOOL DriverCancelIo(HANDLE h);
BOOL DriverClose(HANDLE h);

// The device information set of present devices exposing an interface class
// (SetupDiGetClassDevs with DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
// INVALID_HANDLE_VALUE on failure.
HDEVINFO InterfaceListOpen(const GUID* guid);
BOOL InterfaceListEnum(HDEVINFO set, const GUID* guid, DWORD index, SP_DEVICE_INTERFACE_DATA* data);
BOOL InterfaceListDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                         SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required);
BOOL InterfaceListClose(HDEVINFO set);

// WM_DEVICECHANGE notices (with the device-interface broadcast record) for
// one interface class to a window.
HDEVNOTIFY RegisterInterfaceNotices(HWND window, const GUID* classGuid);
BOOL UnregisterInterfaceNotices(HDEVNOTIFY notify);

}  // namespace hwport
