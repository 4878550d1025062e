// The library's exports. Each one catches everything: nothing is thrown
// across the library boundary.
#include "corvel/corvel.h"
#include "driver_setup.h"
#include "export_guard.h"
#include "host_controller.h"
#include "library.h"
#include "status_texts.h"

using corvel::Guarded;
using corvel::GuardedStatus;

CORVEL_API int WINAPI LmLibInit(void) {
  return Guarded(LM_SUCCESS, [] {
    corvel::TheLibrary().Init();
    return LM_SUCCESS;
  });
}

CORVEL_API int WINAPI LmLibExit(void) {
  return Guarded(LM_SUCCESS, [] {
    corvel::TheLibrary().Exit();
    return LM_SUCCESS;
  });
}

CORVEL_API int WINAPI LmGetErrorString(DWORD status, char* buffer, int size) {
  return GuardedStatus([&] { return corvel::CopyStatusText(status, buffer, size); });
}

CORVEL_API int WINAPI LmFindHostUSB(void) {
  return Guarded(0, [] { return corvel::FindHostUSB(); });
}

CORVEL_API int WINAPI LmFindExtendedUSBHost(void) {
  return Guarded(0, [] { return corvel::FindExtendedUSBHost(); });
}

CORVEL_API int WINAPI LmIsUSBHostDisabled(void) {
  return Guarded(0, [] { return corvel::IsServiceDisabled(corvel::kHostControllerService); });
}

CORVEL_API int WINAPI LmDisableUSBHost(void) {
  return Guarded(
      0, [] { return corvel::ChangeServiceState(DICS_DISABLE, corvel::kHostControllerService); });
}

CORVEL_API int WINAPI LmEnableUSBHost(void) {
  return Guarded(
      0, [] { return corvel::ChangeServiceState(DICS_ENABLE, corvel::kHostControllerService); });
}

CORVEL_API int WINAPI LmFindInstalledDriver(DWORD flags) {
  return Guarded(0, [&] { return corvel::FindInstalledDriver(flags); });
}

CORVEL_API int WINAPI LmInstallDriver(const char* inf) {
  return Guarded(ERROR_GEN_FAILURE, [&] { return corvel::InstallDriver(inf); });
}

CORVEL_API int WINAPI LmUninstallDriver(const char* inf) {
  return Guarded(ERROR_GEN_FAILURE, [&] { return corvel::UninstallDriver(inf); });
}
