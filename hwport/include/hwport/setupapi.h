// The port's door to SetupAPI and the configuration manager: device
// information sets over all device classes, their properties, node status,
// class-installer calls, and the host-controller device names.
//
// Each call is the backend's operation of the same name (hwport/backend.h),
// which says what it blocks on and which statuses it returns. On the bench
// the device tree is the bench's (its present and not present devices,
// hardware ids, services, node status, the host-controller names that open),
// and the class-installer calls change that tree. Copying an INF into the
// driver store is the real call on both: the store is the PC's (under Wine
// the prefix's inf folder) even on a bench.
#pragma once

#include <windows.h>
// windows.h first: the SetupAPI headers depend on it.
#include <cfgmgr32.h>
#include <setupapi.h>

namespace hwport {

// All devices of all classes (SetupDiGetClassDevs with DIGCF_ALLCLASSES, and
// DIGCF_PRESENT when presentOnly). INVALID_HANDLE_VALUE on failure (last error set).
HDEVINFO GetAllClassDevices(bool presentOnly);

// As SetupDiEnumDeviceInfo, SetupDiGetDeviceRegistryPropertyA,
// SetupDiSetClassInstallParamsA, SetupDiCallClassInstaller and
// SetupDiDestroyDeviceInfoList, on a set from GetAllClassDevices.
BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                               DWORD* regType, BYTE* buffer, DWORD size, DWORD* required);
// The bench understands DIF_PROPERTYCHANGE parameters (SP_PROPCHANGE_PARAMS) only.
BOOL SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                           DWORD size);
BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device);
BOOL DestroyDeviceInfoList(HDEVINFO set);

// As CM_Get_DevNode_Status.
CONFIGRET GetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags);

// Opens a host-controller device name ("\\.\HCD0") for writing (share write,
// open existing) and closes it again: true when it opened.
bool HostControllerOpens(const char* name);

// SetupCopyOEMInfA: always the real driver store.
BOOL CopyOemInf(const char* source, const char* mediaLocation, DWORD mediaType, DWORD copyStyle,
                char* destName, DWORD destSize, DWORD* required, char** destComponent);

}  // namespace hwport
