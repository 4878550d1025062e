#include "hwport/setupapi.h"

#include "hwport/port.h"

namespace hwport {
namespace {

// The bench's entry points for its device tree. A set handle is the bench's
// own pointer; a device is its node number, carried in DevInst.
struct BenchSetup {
  void* (*getClassDevs)(int presentOnly) = nullptr;
  int (*enumDevice)(void* set, DWORD index, DWORD* devInst) = nullptr;
  int (*getProperty)(void* set, DWORD devInst, DWORD property, DWORD* regType, BYTE* buffer,
                     DWORD size, DWORD* required) = nullptr;
  int (*setPropertyChangeParams)(void* set, DWORD devInst, DWORD stateChange, DWORD scope,
                                 DWORD hwProfile) = nullptr;
  int (*callClassInstaller)(DWORD function, void* set, DWORD devInst) = nullptr;
  int (*destroyList)(void* set) = nullptr;
  DWORD (*devNodeStatus)(DWORD devInst, ULONG* status, ULONG* problem) = nullptr;
  int (*hostControllerOpens)(const char* name) = nullptr;
};

const BenchSetup& Bench() {
  static const BenchSetup bench = [] {
    BenchSetup b;
    b.getClassDevs = BenchFunction<decltype(b.getClassDevs)>("BenchSetupGetClassDevs");
    b.enumDevice = BenchFunction<decltype(b.enumDevice)>("BenchSetupEnumDevice");
    b.getProperty = BenchFunction<decltype(b.getProperty)>("BenchSetupGetProperty");
    b.setPropertyChangeParams =
        BenchFunction<decltype(b.setPropertyChangeParams)>("BenchSetupSetPropertyChangeParams");
    b.callClassInstaller =
        BenchFunction<decltype(b.callClassInstaller)>("BenchSetupCallClassInstaller");
    b.destroyList = BenchFunction<decltype(b.destroyList)>("BenchSetupDestroyList");
    b.devNodeStatus = BenchFunction<decltype(b.devNodeStatus)>("BenchCmGetDevNodeStatus");
    b.hostControllerOpens =
        BenchFunction<decltype(b.hostControllerOpens)>("BenchHostControllerOpens");
    return b;
  }();
  return bench;
}

BOOL Unsupported() {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

bool ValidDevice(const SP_DEVINFO_DATA* device) {
  if (device && device->cbSize == sizeof(SP_DEVINFO_DATA)) return true;
  SetLastError(ERROR_INVALID_USER_BUFFER);
  return false;
}

}  // namespace

HDEVINFO GetAllClassDevices(bool presentOnly) {
  DWORD flags = DIGCF_ALLCLASSES | (presentOnly ? DIGCF_PRESENT : 0);
  if (!BenchActive()) return SetupDiGetClassDevsA(nullptr, nullptr, nullptr, flags);
  if (!Bench().getClassDevs) {
    Unsupported();
    return INVALID_HANDLE_VALUE;
  }
  void* set = Bench().getClassDevs(presentOnly ? 1 : 0);
  return set ? static_cast<HDEVINFO>(set) : INVALID_HANDLE_VALUE;
}

BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) {
  if (!BenchActive()) return SetupDiEnumDeviceInfo(set, index, device);
  if (!Bench().enumDevice) return Unsupported();
  if (!ValidDevice(device)) return FALSE;
  DWORD devInst = 0;
  if (!Bench().enumDevice(set, index, &devInst)) return FALSE;
  device->ClassGuid = GUID{};
  device->DevInst = devInst;
  device->Reserved = 0;
  return TRUE;
}

BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                               DWORD* regType, BYTE* buffer, DWORD size, DWORD* required) {
  if (!BenchActive())
    return SetupDiGetDeviceRegistryPropertyA(set, device, property, regType, buffer, size,
                                             required);
  if (!Bench().getProperty) return Unsupported();
  if (!ValidDevice(device)) return FALSE;
  return Bench().getProperty(set, device->DevInst, property, regType, buffer, size, required);
}

BOOL SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                           DWORD size) {
  if (!BenchActive()) return SetupDiSetClassInstallParamsA(set, device, params, size);
  if (!Bench().setPropertyChangeParams) return Unsupported();
  if (!ValidDevice(device)) return FALSE;
  if (!params || size != sizeof(SP_PROPCHANGE_PARAMS) ||
      params->cbSize != sizeof(SP_CLASSINSTALL_HEADER) ||
      params->InstallFunction != DIF_PROPERTYCHANGE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* change = reinterpret_cast<SP_PROPCHANGE_PARAMS*>(params);
  return Bench().setPropertyChangeParams(set, device->DevInst, change->StateChange, change->Scope,
                                         change->HwProfile);
}

BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device) {
  if (!BenchActive()) return SetupDiCallClassInstaller(function, set, device);
  if (!Bench().callClassInstaller) return Unsupported();
  if (!ValidDevice(device)) return FALSE;
  return Bench().callClassInstaller(function, set, device->DevInst);
}

BOOL DestroyDeviceInfoList(HDEVINFO set) {
  if (!BenchActive()) return SetupDiDestroyDeviceInfoList(set);
  if (!Bench().destroyList) return Unsupported();
  return Bench().destroyList(set);
}

CONFIGRET GetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags) {
  if (!BenchActive()) return CM_Get_DevNode_Status(status, problem, devInst, flags);
  if (!Bench().devNodeStatus) return CR_FAILURE;
  if (!status || !problem) return CR_INVALID_POINTER;
  return Bench().devNodeStatus(devInst, status, problem);
}

bool HostControllerOpens(const char* name) {
  if (BenchActive()) return Bench().hostControllerOpens && Bench().hostControllerOpens(name);
  HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

BOOL CopyOemInf(const char* source, const char* mediaLocation, DWORD mediaType, DWORD copyStyle,
                char* destName, DWORD destSize, DWORD* required, char** destComponent) {
  return SetupCopyOEMInfA(source, mediaLocation, mediaType, copyStyle, destName, destSize, required,
                          destComponent);
}

}  // namespace hwport
