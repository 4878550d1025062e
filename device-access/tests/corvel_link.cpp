// A caller of Corvel linked through corvel.h and the import library, as a
// program binds it at load time. Exit code 0 when the calls came back as the
// header declares them; the number of the first wrong call otherwise.
#include <cstring>

#include "corvel/corvel.h"

int main() {
  // Every export is referenced, so each one must resolve at link time.
  const void* exports[] = {
      reinterpret_cast<const void*>(&LmLibInit),
      reinterpret_cast<const void*>(&LmLibExit),
      reinterpret_cast<const void*>(&LmGetErrorString),
      reinterpret_cast<const void*>(&LmFindHostUSB),
      reinterpret_cast<const void*>(&LmFindExtendedUSBHost),
      reinterpret_cast<const void*>(&LmIsUSBHostDisabled),
      reinterpret_cast<const void*>(&LmDisableUSBHost),
      reinterpret_cast<const void*>(&LmEnableUSBHost),
      reinterpret_cast<const void*>(&LmFindInstalledDriver),
      reinterpret_cast<const void*>(&LmInstallDriver),
      reinterpret_cast<const void*>(&LmUninstallDriver),
      reinterpret_cast<const void*>(&LmUpdateDeviceList),
      reinterpret_cast<const void*>(&LmGetDeviceCount),
      reinterpret_cast<const void*>(&LmGetDeviceInfo),
      reinterpret_cast<const void*>(&LmOpenDevice),
      reinterpret_cast<const void*>(&LmCloseDevice),
      reinterpret_cast<const void*>(&LmSetAttribute),
      reinterpret_cast<const void*>(&LmGetAttribute),
  };
  for (const void* entry : exports)
    if (!entry) return 1;
  char text[100];
  if (LmGetErrorString(0x1234, text, sizeof text) != static_cast<int>(LM_WARN_UNKNOWN_STATUS))
    return 2;
  if (std::strcmp(text, "Unknown Error 0x1234") != 0) return 3;
  if (LmFindInstalledDriver(0) != 0) return 4;
  // Before the start: no mutex to refresh under, no devices, no sessions.
  if (LmUpdateDeviceList() != static_cast<int>(LM_ERROR_SYSTEM_ERROR)) return 5;
  if (LmGetDeviceCount() != 0) return 6;
  DWORD vendorId = 0;
  if (LmGetDeviceInfo(0, &vendorId, nullptr, nullptr, nullptr) !=
      static_cast<int>(LM_ERROR_PARAMETER1))
    return 7;
  LmSession session = nullptr;
  if (LmOpenDevice("USB::0xE7B::0x5::1::INSTR", &session) != static_cast<int>(LM_ERROR_RSRC_NFOUND))
    return 8;
  if (LmCloseDevice(&session) != static_cast<int>(LM_ERROR_INV_OBJECT)) return 9;
  if (LmSetAttribute(session, 1, 0) != static_cast<int>(LM_ERROR_INV_OBJECT)) return 10;
  if (LmGetAttribute(session, 1, &vendorId) != static_cast<int>(LM_ERROR_INV_OBJECT)) return 11;
  return 0;
}
