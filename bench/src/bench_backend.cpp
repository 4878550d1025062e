// The bench's side of the hardware port: the one export that fills the
// port's backend record with the bench's driver, device tree and clock.
#include "bench_core.h"
#include "bench_state.h"
#include "hwport/backend.h"
#include "setupapi_entries.h"

namespace bench {
namespace {

HANDLE DriverOpen(const char* path) {
  Bench::Instance().CatchUp();
  return Bench::Instance().CreateDriverFile(path);
}

BOOL DriverIoControl(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytes, OVERLAPPED* ov) {
  Bench::Instance().CatchUp();
  return Bench::Instance().IoControl(h, code, in, inSize, out, outSize, bytes, ov);
}

BOOL DriverRead(HANDLE h, void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  Bench::Instance().CatchUp();
  return Bench::Instance().Transfer(h, true, buffer, length, bytes, ov);
}

BOOL DriverWrite(HANDLE h, const void* buffer, DWORD length, DWORD* bytes, OVERLAPPED* ov) {
  Bench::Instance().CatchUp();
  return Bench::Instance().Transfer(h, false, const_cast<void*>(buffer), length, bytes, ov);
}

BOOL DriverOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes, BOOL wait) {
  Bench::Instance().CatchUp();
  return Bench::Instance().OverlappedResult(h, ov, bytes, wait);
}

BOOL DriverCancelIo(HANDLE h) {
  Bench::Instance().CatchUp();
  return Bench::Instance().CancelIo(h);
}

BOOL DriverClose(HANDLE h) {
  Bench::Instance().CatchUp();
  return Bench::Instance().CloseDriverHandle(h);
}

HDEVINFO InterfaceListOpen(const GUID* guid) {
  Bench::Instance().CatchUp();
  return Bench::Instance().MakeInterfaceList(guid);
}

BOOL InterfaceListEnum(HDEVINFO set, const GUID* guid, DWORD index,
                       SP_DEVICE_INTERFACE_DATA* data) {
  Bench::Instance().CatchUp();
  return Bench::Instance().EnumInterface(set, guid, index, data);
}

BOOL InterfaceListDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                         SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required) {
  Bench::Instance().CatchUp();
  return Bench::Instance().InterfaceDetail(set, data, detail, size, required);
}

BOOL InterfaceListClose(HDEVINFO set) {
  Bench::Instance().CatchUp();
  return Bench::Instance().DestroyInterfaceList(set);
}

HDEVNOTIFY RegisterNotices(HWND window, const GUID* classGuid) {
  Bench::Instance().CatchUp();
  return Bench::Instance().RegisterNotices(window, classGuid);
}

BOOL UnregisterNotices(HDEVNOTIFY notify) {
  Bench::Instance().CatchUp();
  return Bench::Instance().UnregisterNotices(notify);
}

}  // namespace
}  // namespace bench

extern "C" __declspec(dllexport) BOOL BenchBackend(DWORD abi, hwport::Backend* record) {
  if (abi != hwport::kBackendAbi || !record) return FALSE;
  using namespace bench;
  *record = hwport::Backend{
      .abi = hwport::kBackendAbi,
      .name = "bench",
      .driverOpen = DriverOpen,
      .driverIoControl = DriverIoControl,
      .driverRead = DriverRead,
      .driverWrite = DriverWrite,
      .driverOverlappedResult = DriverOverlappedResult,
      .driverCancelIo = DriverCancelIo,
      .driverClose = DriverClose,
      .interfaceListOpen = InterfaceListOpen,
      .interfaceListEnum = InterfaceListEnum,
      .interfaceListDetail = InterfaceListDetail,
      .interfaceListClose = InterfaceListClose,
      .registerNotices = RegisterNotices,
      .unregisterNotices = UnregisterNotices,
      .getAllClassDevices = SetupGetAllClassDevices,
      .enumDeviceInfo = SetupEnumDeviceInfo,
      .getDeviceRegistryProperty = SetupGetDeviceRegistryProperty,
      .setClassInstallParams = SetupSetClassInstallParams,
      .callClassInstaller = SetupCallClassInstaller,
      .destroyDeviceInfoList = SetupDestroyDeviceInfoList,
      .getDevNodeStatus = CmGetDevNodeStatus,
      .hostControllerOpens = HostControllerOpens,
      .tickCount = BenchTickCount,
      .realMilliseconds = BenchRealMilliseconds,
  };
  return TRUE;
}
