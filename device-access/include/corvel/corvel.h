/* Corvel, the USB device access library: its exports and status codes.
 * Every export is a stdcall (WINAPI) function exported by its undecorated
 * name, so a caller may bind it with GetProcAddress by name, or link the
 * import library libCorvel.dll.a; C and C++ callers alike. */
#ifndef CORVEL_CORVEL_H
#define CORVEL_CORVEL_H

#include <windows.h>

#ifdef __cplusplus
#define CORVEL_EXTERN_C extern "C"
#else
#define CORVEL_EXTERN_C
#endif

#ifdef CORVEL_BUILD
#define CORVEL_API CORVEL_EXTERN_C
#else
#define CORVEL_API CORVEL_EXTERN_C __declspec(dllimport)
#endif

/* The status codes, one row each: constant, code, the text LmGetErrorString
 * gives. 0 success, 0xBFFFxxxx errors, 0xBFFC000n argument n out of range,
 * 0x3FFFxxxx warnings. Exports return them as int, so every error is
 * negative and a byte count or a status word tells itself apart by sign. */
#define LM_STATUS_TABLE(X)                                                                       \
  X(LM_SUCCESS, 0x00000000, "Operation completed successfully.")                                 \
  X(LM_ERROR_SYSTEM_ERROR, 0xBFFF0000, "Unknown system error (miscellaneous error).")            \
  X(LM_ERROR_NOT_INITIALIZED, 0xBFFF0001, "Corvel library not yet initialized.")                 \
  X(LM_ERROR_ALREADY_INITIALIZED, 0xBFFF0002,                                                    \
    "During initialization: Corvel library already initialized.")                                \
  X(LM_ERROR_NSUP_ATTR, 0xBFFF001D,                                                              \
    "The specified attribute is not defined or supported by the referenced session.")            \
  X(LM_ERROR_INV_OBJECT, 0xBFFF000E, "The given session or object reference is invalid.")        \
  X(LM_ERROR_INV_RSRC_NAME, 0xBFFF0012, "Invalid resource reference specified. Parsing error.")  \
  X(LM_ERROR_RAW_RD_PROT_VIOL, 0xBFFF0035,                                                       \
    "Violation of raw read protocol occurred during transfer.")                                  \
  X(LM_ERROR_ATTR_READONLY, 0xBFFF001F, "The specified attribute is Read Only.")                 \
  X(LM_ERROR_RSRC_NFOUND, 0xBFFF0011,                                                            \
    "Insufficient location information or the device or resource is not present in the system.") \
  X(LM_ERROR_TMO, 0xBFFF0015, "Timeout expired before operation completed.")                     \
  X(LM_ERROR_QUEUE_OVERFLOW, 0xBFFF002D, "The event queue is overflowed.")                       \
  X(LM_ERROR_QUEUE_EMPTY, 0xBFFF002E, "Event queue is already empty.")                           \
  X(LM_ERROR_TOO_MANY_OPEN_SESSIONS, 0xBFFF003C,                                                 \
    "Insufficient system resources to perform necessary memory allocation.")                     \
  X(LM_ERROR_NSUP_BULK, 0xBFFF002F, "Bulk interface endpoint is not supported by device.")       \
  X(LM_ERROR_USER_BUF, 0xBFFF0071,                                                               \
    "A specified user buffer is not valid or cannot be accessed for the required size.")         \
  X(LM_ERROR_DEVICE_DISCONNECTED, 0xBFFF003E,                                                    \
    "A specified device was disconected or switched to local mode.")                             \
  X(LM_ERROR_PARAMETER1, 0xBFFC0001, "Parameter 1 out of range.")                                \
  X(LM_ERROR_PARAMETER2, 0xBFFC0002, "Parameter 2 out of range.")                                \
  X(LM_ERROR_PARAMETER3, 0xBFFC0003, "Parameter 3 out of range.")                                \
  X(LM_ERROR_PARAMETER4, 0xBFFC0004, "Parameter 4 out of range.")                                \
  X(LM_ERROR_PARAMETER5, 0xBFFC0005, "Parameter 5 out of range.")                                \
  X(LM_ERROR_PARAMETER6, 0xBFFC0006, "Parameter 6 out of range.")                                \
  X(LM_ERROR_PARAMETER7, 0xBFFC0007, "Parameter 7 out of range.")                                \
  X(LM_ERROR_PARAMETER8, 0xBFFC0008, "Parameter 8 out of range.")                                \
  X(LM_WARN_UNKNOWN_STATUS, 0x3FFF0085,                                                          \
    "The status code passed to the operation could not be interpreted.")

#ifdef __cplusplus
/* C++: 32-bit unsigned codes; compare an export's result with
 * static_cast<int>(LM_ERROR_TMO). */
#define LM_STATUS_CONSTANT(name, code, text) constexpr DWORD name = code;
LM_STATUS_TABLE(LM_STATUS_CONSTANT)
#undef LM_STATUS_CONSTANT
#else
/* C: int constants of the same bits, as the exports return them. */
#define LM_STATUS_CONSTANT(name, code, text) name = (int)code,
enum LmStatus { LM_STATUS_TABLE(LM_STATUS_CONSTANT) };
#undef LM_STATUS_CONSTANT
#endif

/* A session on a device, as LmOpenDevice hands it out. */
typedef void* LmSession;

/* Library. LmLibInit before any device, session, I/O or event export. */
CORVEL_API int WINAPI LmLibInit(void);
CORVEL_API int WINAPI LmLibExit(void);
CORVEL_API int WINAPI LmGetErrorString(DWORD status, char* buffer, int size);

/* Devices and sessions. A resource name reads "USB::0x%X::0x%X::%d::INSTR"
 * (vendor id, product id, serial number); any other name is an alias under
 * HKLM\SOFTWARE\Vandrel\Corvel whose value "ModuleResource" holds one. */
CORVEL_API int WINAPI LmUpdateDeviceList(void);
CORVEL_API int WINAPI LmGetDeviceCount(void);
CORVEL_API int WINAPI LmGetDeviceInfo(DWORD index, DWORD* vendorId, DWORD* productId,
                                      DWORD* serialNumber, DWORD* supplyId);
CORVEL_API int WINAPI LmOpenDevice(const char* name, LmSession* session);
CORVEL_API int WINAPI LmCloseDevice(LmSession session);

/* Attributes: u32 values come as 4 bytes, u16 values as 2, texts with their zero. */
CORVEL_API int WINAPI LmSetAttribute(LmSession session, DWORD id, DWORD value);
CORVEL_API int WINAPI LmGetAttribute(LmSession session, DWORD id, void* value);

/* Registers and commands: a control request on endpoint 0 for the register
 * (the device's FacId), then the wait for the device's acknowledgement as
 * attributes 3, 8, 9 and 101 say. LmGetStatus gives the 16-bit status word
 * and LmGetDeviceCaps the byte count read, both non-negative, or a status. */
CORVEL_API int WINAPI LmSetRegister(LmSession session, DWORD reg, DWORD index, const void* data,
                                    DWORD size);
CORVEL_API int WINAPI LmGetRegister(LmSession session, DWORD reg, DWORD index, void* buffer,
                                    DWORD size);
CORVEL_API int WINAPI LmSendCommand(LmSession session, DWORD command);
CORVEL_API int WINAPI LmGetStatus(LmSession session);
CORVEL_API int WINAPI LmGetDeviceCaps(LmSession session, DWORD reg, DWORD index, void* buffer,
                                      DWORD size);

/* Data packets: LmWriteData sends at most 4092 bytes as one packet with the
 * id; LmReadData waits for the packet with the id (0xFFFF: any, delivered
 * with its 4-byte header) and gives the byte count delivered or a status. */
CORVEL_API int WINAPI LmWriteData(LmSession session, WORD packetId, const void* data, DWORD size);
CORVEL_API int WINAPI LmReadData(LmSession session, WORD packetId, void* buffer, DWORD size);

/* Events of the device, queued for all its sessions: LmHandleEvent takes the
 * oldest (lParam and wParam may be null), with LM_ERROR_QUEUE_OVERFLOW when
 * its read of the pipe found the queue at its 511 events or filled it (what
 * did not fit is dropped); LmFlushEventQueue drops them all. */
CORVEL_API int WINAPI LmHandleEvent(LmSession session, DWORD* eventId, DWORD* lParam,
                                    DWORD* wParam);
CORVEL_API int WINAPI LmFlushEventQueue(LmSession session);

/* Driver and USB 2.0 host controller; none of them needs LmLibInit. */
CORVEL_API int WINAPI LmFindHostUSB(void);
CORVEL_API int WINAPI LmFindExtendedUSBHost(void);
CORVEL_API int WINAPI LmIsUSBHostDisabled(void);
CORVEL_API int WINAPI LmDisableUSBHost(void);
CORVEL_API int WINAPI LmEnableUSBHost(void);
CORVEL_API int WINAPI LmFindInstalledDriver(DWORD flags);
CORVEL_API int WINAPI LmInstallDriver(const char* inf);
CORVEL_API int WINAPI LmUninstallDriver(const char* inf);

#endif /* CORVEL_CORVEL_H */
