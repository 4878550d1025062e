// The plain Win32 backend: the PC's USB driver, SetupAPI and clock.
#include "hwport/backend.h"
// after windows.h
#include <dbt.h>

namespace hwport {
namespace {

HANDLE Open(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

BOOL IoControl(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytes, OVERLAPPED* ov) {
  // DeviceIoControl wants the count even when the caller does not.
  DWORD n = 0;
  return DeviceIoControl(h, code, const_cast<void*>(in), inSize, out, outSize, bytes ? bytes : &n,
                         ov);
}

BOOL Read(HANDLE h, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  return ReadFile(h, buffer, length, bytes, ov);
}

BOOL Write(HANDLE h, const void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  return WriteFile(h, buffer, length, bytes, ov);
}

BOOL OverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait) {
  DWORD n = 0;
  return GetOverlappedResult(h, ov, bytes ? bytes : &n, wait);
}

BOOL Cancel(HANDLE h) { return CancelIo(h); }
BOOL Close(HANDLE h) { return CloseHandle(h); }

HDEVINFO ListOpen(const GUID* guid) {
  return SetupDiGetClassDevsA(guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

BOOL ListEnum(HDEVINFO set, const GUID* guid, DWORD index, SP_DEVICE_INTERFACE_DATA* data) {
  return SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, data);
}

BOOL ListDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required) {
  return SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, required, nullptr);
}

BOOL ListClose(HDEVINFO set) { return SetupDiDestroyDeviceInfoList(set); }

HDEVNOTIFY RegisterNotices(HWND window, const GUID* classGuid) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = *classGuid;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

BOOL UnregisterNotices(HDEVNOTIFY notify) { return UnregisterDeviceNotification(notify); }

HDEVINFO AllClassDevices(BOOL presentOnly) {
  return SetupDiGetClassDevsA(nullptr, nullptr, nullptr,
                              DIGCF_ALLCLASSES | (presentOnly ? DIGCF_PRESENT : 0));
}

BOOL EnumDevice(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) {
  return SetupDiEnumDeviceInfo(set, index, device);
}

BOOL RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* regType,
                      BYTE* buffer, DWORD size, DWORD* required) {
  return SetupDiGetDeviceRegistryPropertyA(set, device, property, regType, buffer, size, required);
}

BOOL InstallParams(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                   DWORD size) {
  return SetupDiSetClassInstallParamsA(set, device, params, size);
}

BOOL ClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device) {
  return SetupDiCallClassInstaller(function, set, device);
}

BOOL DestroyList(HDEVINFO set) { return SetupDiDestroyDeviceInfoList(set); }

CONFIGRET DevNodeStatus(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags) {
  return CM_Get_DevNode_Status(status, problem, devInst, flags);
}

BOOL HostControllerOpens(const char* name) {
  HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(h);
  return TRUE;
}

DWORD TickCount() { return GetTickCount(); }
DWORD WallMilliseconds(DWORD ms) { return ms; }

}  // namespace

const Backend& Win32Backend() {
  static const Backend win32 = {
      .abi = kBackendAbi,
      .name = "win32",
      .driverOpen = Open,
      .driverIoControl = IoControl,
      .driverRead = Read,
      .driverWrite = Write,
      .driverOverlappedResult = OverlappedResult,
      .driverCancelIo = Cancel,
      .driverClose = Close,
      .interfaceListOpen = ListOpen,
      .interfaceListEnum = ListEnum,
      .interfaceListDetail = ListDetail,
      .interfaceListClose = ListClose,
      .registerNotices = RegisterNotices,
      .unregisterNotices = UnregisterNotices,
      .getAllClassDevices = AllClassDevices,
      .enumDeviceInfo = EnumDevice,
      .getDeviceRegistryProperty = RegistryProperty,
      .setClassInstallParams = InstallParams,
      .callClassInstaller = ClassInstaller,
      .destroyDeviceInfoList = DestroyList,
      .getDevNodeStatus = DevNodeStatus,
      .hostControllerOpens = HostControllerOpens,
      .tickCount = TickCount,
      .realMilliseconds = WallMilliseconds,
  };
  return win32;
}

}  // namespace hwport
