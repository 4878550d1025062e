// Corvel, the USB device access library: its exports and status codes.
// Every export is a stdcall function exported by its undecorated name, so a
// caller may bind it with GetProcAddress by name.
#pragma once

#include <windows.h>

#ifdef CORVEL_BUILD
#define CORVEL_API extern "C"
#else
#define CORVEL_API extern "C" __declspec(dllimport)
#endif

// Status codes: 0 success, 0xBFFFxxxx errors, 0xBFFC000n argument n out of range.
constexpr DWORD LM_SUCCESS = 0x00000000;
constexpr DWORD LM_ERROR_SYSTEM_ERROR = 0xBFFF0000;
constexpr DWORD LM_ERROR_NOT_INITIALIZED = 0xBFFF0001;
constexpr DWORD LM_ERROR_ALREADY_INITIALIZED = 0xBFFF0002;
constexpr DWORD LM_ERROR_NSUP_ATTR = 0xBFFF001D;
constexpr DWORD LM_ERROR_INV_OBJECT = 0xBFFF000E;
constexpr DWORD LM_ERROR_INV_RSRC_NAME = 0xBFFF0012;
constexpr DWORD LM_ERROR_RAW_RD_PROT_VIOL = 0xBFFF0035;
constexpr DWORD LM_ERROR_ATTR_READONLY = 0xBFFF001F;
constexpr DWORD LM_ERROR_RSRC_NFOUND = 0xBFFF0011;
constexpr DWORD LM_ERROR_TMO = 0xBFFF0015;
constexpr DWORD LM_ERROR_QUEUE_OVERFLOW = 0xBFFF002D;
constexpr DWORD LM_ERROR_QUEUE_EMPTY = 0xBFFF002E;
constexpr DWORD LM_ERROR_TOO_MANY_OPEN_SESSIONS = 0xBFFF003C;
constexpr DWORD LM_ERROR_NSUP_BULK = 0xBFFF002F;
constexpr DWORD LM_ERROR_USER_BUF = 0xBFFF0071;
constexpr DWORD LM_ERROR_DEVICE_DISCONNECTED = 0xBFFF003E;
constexpr DWORD LM_ERROR_PARAMETER1 = 0xBFFC0001;
constexpr DWORD LM_ERROR_PARAMETER2 = 0xBFFC0002;
constexpr DWORD LM_ERROR_PARAMETER3 = 0xBFFC0003;
constexpr DWORD LM_ERROR_PARAMETER4 = 0xBFFC0004;
constexpr DWORD LM_ERROR_PARAMETER5 = 0xBFFC0005;
constexpr DWORD LM_ERROR_PARAMETER6 = 0xBFFC0006;
constexpr DWORD LM_ERROR_PARAMETER7 = 0xBFFC0007;
constexpr DWORD LM_ERROR_PARAMETER8 = 0xBFFC0008;
constexpr DWORD LM_WARN_UNKNOWN_STATUS = 0x3FFF0085;

// A session on a device, as LmOpenDevice hands it out.
typedef void* LmSession;

// Library
CORVEL_API int WINAPI LmLibInit(void);
CORVEL_API int WINAPI LmLibExit(void);
CORVEL_API int WINAPI LmGetErrorString(DWORD status, char* buffer, int size);

// Devices and sessions. A resource name reads "USB::0x%X::0x%X::%d::INSTR"
// (vendor id, product id, serial number); any other name is an alias under
// HKLM\SOFTWARE\Vandrel\Corvel whose value "ModuleResource" holds one.
CORVEL_API int WINAPI LmUpdateDeviceList(void);
CORVEL_API int WINAPI LmGetDeviceCount(void);
CORVEL_API int WINAPI LmGetDeviceInfo(DWORD index, DWORD* vendorId, DWORD* productId,
                                      DWORD* serialNumber, DWORD* supplyId);
CORVEL_API int WINAPI LmOpenDevice(const char* name, LmSession* session);
CORVEL_API int WINAPI LmCloseDevice(LmSession session);

// Attributes: u32 values come as 4 bytes, u16 values as 2, texts with their zero.
CORVEL_API int WINAPI LmSetAttribute(LmSession session, DWORD id, DWORD value);
CORVEL_API int WINAPI LmGetAttribute(LmSession session, DWORD id, void* value);

// Driver and USB 2.0 host controller; none of them needs LmLibInit.
CORVEL_API int WINAPI LmFindHostUSB(void);
CORVEL_API int WINAPI LmFindExtendedUSBHost(void);
CORVEL_API int WINAPI LmIsUSBHostDisabled(void);
CORVEL_API int WINAPI LmDisableUSBHost(void);
CORVEL_API int WINAPI LmEnableUSBHost(void);
CORVEL_API int WINAPI LmFindInstalledDriver(DWORD flags);
CORVEL_API int WINAPI LmInstallDriver(const char* inf);
CORVEL_API int WINAPI LmUninstallDriver(const char* inf);
