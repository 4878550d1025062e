// The hardware port's backend: one record of every operation the
// deliverables ask of the outside world. Two backends fill it: plain Win32
// (the PC's USB driver, SetupAPI and clock) and the simulated bench
// (LumetraBench.dll, through its one export BenchBackend). The port picks one
// at its first call and keeps it for the life of the process; nothing outside
// the port knows which.
//
// Every member is a plain cdecl function. Failures return the value named in
// the member's comment and set the thread's last error, as the Win32 calls
// do; "last error" below lists what a caller can meet besides the ones the
// system passes on unchanged. The driver's own statuses (0xE00010xx, such as
// USBDRV_ERR_DEVICE_REMOVED for every call on a device that left the bus)
// are named in the driver's status table (usbdrv/status.h).
//
// An operation a backend lacks (a null member) is never taken from the other
// backend: the port answers it with the member's failure value and last error
// ERROR_NOT_SUPPORTED. The clock has no failure value: a backend without one
// runs on the wall clock.
//
// The layout only grows at its end; kBackendAbi counts the layouts. The bench
// fills a record only for the version it was built for.
#pragma once

#include <windows.h>
// windows.h first: the SetupAPI headers depend on it.
#include <cfgmgr32.h>
#include <setupapi.h>

namespace hwport {

constexpr DWORD kBackendAbi = 1;

extern "C" {

// clang-format off
struct Backend {
  DWORD abi;         // kBackendAbi of the filler
  const char* name;  // "win32" or "bench", for logs and tests

  // ---- driver device objects and I/O control -----------------------------
  // Opens "\\.\USBDRV_DeviceN" for overlapped I/O. Does not block.
  // INVALID_HANDLE_VALUE; last error ERROR_FILE_NOT_FOUND (no such device).
  HANDLE (*driverOpen)(const char* path);
  // One I/O control request. With ov: returns at once, FALSE with
  // ERROR_IO_PENDING while the device answers (DriverOverlappedResult ends
  // it). Without ov: blocks until the device answers. FALSE; last error
  // ERROR_INVALID_HANDLE, USBDRV_ERR_DEVICE_REMOVED, ERROR_SEM_TIMEOUT (no
  // answer) or the driver's 0xE00010xx status of the request.
  BOOL (*driverIoControl)(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out,
                          DWORD outSize, DWORD* bytes, OVERLAPPED* ov);

  // ---- overlapped pipe transfers ---------------------------------------------
  // A read from / write to the handle's bound endpoint. With ov: never blocks,
  // FALSE with ERROR_IO_PENDING until the transfer ends. Without ov: blocks
  // until it ends. FALSE; last error ERROR_INVALID_HANDLE,
  // USBDRV_ERR_DEVICE_REMOVED, ERROR_OPERATION_ABORTED (cancelled) or the
  // driver's status.
  BOOL (*driverRead)(HANDLE h, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov);
  BOOL (*driverWrite)(HANDLE h, const void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov);
  // The end of an overlapped request. wait: blocks on ov's event until the
  // request ends (without a bound: bound it with a wait on the event first).
  // FALSE; last error ERROR_IO_INCOMPLETE (still running, wait FALSE) or the
  // request's own status.
  BOOL (*driverOverlappedResult)(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait);
  // Ends every pending request of the handle with ERROR_OPERATION_ABORTED.
  // Does not block. FALSE; last error ERROR_INVALID_HANDLE.
  BOOL (*driverCancelIo)(HANDLE h);
  // Closes the handle; its pending requests end as by driverCancelIo. Does
  // not block. FALSE; last error ERROR_INVALID_HANDLE.
  BOOL (*driverClose)(HANDLE h);

  // ---- the interface list of a device interface class --------------------
  // A snapshot of the present devices exposing the class. Does not block.
  // INVALID_HANDLE_VALUE; last error ERROR_INVALID_PARAMETER.
  HDEVINFO (*interfaceListOpen)(const GUID* guid);
  // The index-th interface of the snapshot. FALSE; last error
  // ERROR_NO_MORE_ITEMS (past the end), ERROR_INVALID_HANDLE,
  // ERROR_INVALID_PARAMETER.
  BOOL (*interfaceListEnum)(HDEVINFO set, const GUID* guid, DWORD index,
                            SP_DEVICE_INTERFACE_DATA* data);
  // The interface's device path. FALSE; last error ERROR_INSUFFICIENT_BUFFER
  // (required set), ERROR_INVALID_USER_BUFFER (detail->cbSize wrong),
  // ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER.
  BOOL (*interfaceListDetail)(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                              SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size,
                              DWORD* required);
  // FALSE; last error ERROR_INVALID_HANDLE.
  BOOL (*interfaceListClose)(HDEVINFO set);

  // ---- device notices ----------------------------------------------------------
  // WM_DEVICECHANGE (DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE with the
  // device-interface record) for one interface class, sent to the window's
  // thread. Does not block. Null; last error ERROR_INVALID_PARAMETER.
  HDEVNOTIFY (*registerNotices)(HWND window, const GUID* classGuid);
  // FALSE; last error ERROR_INVALID_HANDLE.
  BOOL (*unregisterNotices)(HDEVNOTIFY notify);

  // ---- SetupAPI and the configuration manager ---------------------------------
  // All devices of all classes (only the present ones when presentOnly).
  // Reads the device tree; does not wait. INVALID_HANDLE_VALUE.
  HDEVINFO (*getAllClassDevices)(BOOL presentOnly);
  // FALSE; last error ERROR_NO_MORE_ITEMS, ERROR_INVALID_HANDLE,
  // ERROR_INVALID_USER_BUFFER (device->cbSize wrong).
  BOOL (*enumDeviceInfo)(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
  // SPDRP_HARDWAREID (REG_MULTI_SZ) and SPDRP_SERVICE (REG_SZ) at least.
  // FALSE; last error ERROR_INSUFFICIENT_BUFFER (required set),
  // ERROR_INVALID_DATA (no such property), ERROR_NO_SUCH_DEVINST.
  BOOL (*getDeviceRegistryProperty)(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                                    DWORD* regType, BYTE* buffer, DWORD size, DWORD* required);
  // The bench understands DIF_PROPERTYCHANGE parameters only. FALSE; last
  // error ERROR_INVALID_PARAMETER, ERROR_NO_SUCH_DEVINST.
  BOOL (*setClassInstallParams)(HDEVINFO set, SP_DEVINFO_DATA* device,
                                SP_CLASSINSTALL_HEADER* params, DWORD size);
  // Runs the class installer (DIF_PROPERTYCHANGE, DIF_REMOVE); blocks while
  // the system restarts or stops the device. FALSE; last error
  // ERROR_INVALID_PARAMETER (no parameters set), ERROR_NO_SUCH_DEVINST.
  BOOL (*callClassInstaller)(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device);
  // FALSE; last error ERROR_INVALID_HANDLE.
  BOOL (*destroyDeviceInfoList)(HDEVINFO set);
  // CR_SUCCESS, CR_NO_SUCH_DEVINST, CR_INVALID_POINTER; failure value CR_FAILURE.
  CONFIGRET (*getDevNodeStatus)(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags);
  // Whether a host-controller device name ("\\.\HCD0") opens for writing;
  // opens and closes it at once. FALSE when it does not open.
  BOOL (*hostControllerOpens)(const char* name);
  // Copying an INF into the driver store is no backend operation: the store
  // is the PC's on the bench too (hwport::CopyOemInf).

  // ---- the clock ------------------------------------------------------------------
  // Milliseconds of the clock, wrapping like GetTickCount. Never blocks.
  DWORD (*tickCount)();
  // Wall milliseconds that stand for ms of the clock. Never blocks.
  DWORD (*realMilliseconds)(DWORD ms);
};
// clang-format on

// The bench's one export, "BenchBackend": fills the record when abi is the
// version it was built for (TRUE), else leaves it alone (FALSE).
typedef BOOL (*FillBackendFn)(DWORD abi, Backend* record);

}  // extern "C"

// The plain Win32 backend, complete.
const Backend& Win32Backend();

// The backend the port chose at its first call (the bench when LUMETRA_BENCH
// names a bench file that loads, else Win32), with every member set.
const Backend& ActiveBackend();

// Sets every null member of record to the port's stand-in for an operation
// the backend lacks (see above). The port does this once to the chosen record.
void CompleteBackend(Backend& record);

}  // namespace hwport
