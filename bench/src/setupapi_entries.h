// The bench's SetupAPI and configuration-manager operations, in the shapes
// of the port's backend record (hwport/backend.h), over the device tree of
// the bench file (bench/setupapi_tree.h).
#pragma once

#include <windows.h>
// windows.h first: the SetupAPI headers depend on it.
#include <cfgmgr32.h>
#include <setupapi.h>

namespace bench {

HDEVINFO SetupGetAllClassDevices(BOOL presentOnly);
BOOL SetupEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
BOOL SetupGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                                    DWORD* regType, BYTE* buffer, DWORD size, DWORD* required);
// DIF_PROPERTYCHANGE parameters (SP_PROPCHANGE_PARAMS) only.
BOOL SetupSetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* device,
                                SP_CLASSINSTALL_HEADER* params, DWORD size);
BOOL SetupCallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device);
BOOL SetupDestroyDeviceInfoList(HDEVINFO set);
CONFIGRET CmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags);
BOOL HostControllerOpens(const char* name);

}  // namespace bench
