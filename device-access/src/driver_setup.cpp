#include "driver_setup.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "device_scan.h"

namespace corvel {

const char* const kHardwareIds[6] = {
    "USB\\VID_0e7b&Pid_0005", "USB\\VID_0e7b&Pid_0006", "USB\\VID_0e7b&PID_0007",
    "USB\\VID_0e7b&PID_0008", "USB\\VID_0e7b&PID_0009", "USB\\VID_0e7b&PID_0010",
};

namespace {

bool Carries(const std::vector<std::string>& ids, const char* id) {
  for (const std::string& candidate : ids)
    if (EqualIgnoringCase(candidate, id)) return true;
  return false;
}

// The precompiled file beside an INF in the store: same drive, folder and
// base name, extension ".pnf".
std::string PrecompiledName(const char* inf) {
  char drive[_MAX_DRIVE], dir[_MAX_DIR], base[_MAX_FNAME], ext[_MAX_EXT];
  _splitpath(inf, drive, dir, base, ext);
  return std::string(drive) + dir + base + ".pnf";
}

}  // namespace

int IsHardwareIdPresent(const char* id) {
  DeviceScan scan(DeviceScan::kPresent);
  if (!scan.Built()) return 0;
  std::vector<std::string> ids;
  while (scan.Next()) {
    PropertyRead r = scan.HardwareIds(&ids);
    if (r == PropertyRead::kMissing) continue;
    if (r == PropertyRead::kFailed) return 0;
    if (Carries(ids, id)) return 1;
  }
  return 0;
}

DWORD RemoveHardwareIdDevices(const char* id) {
  DeviceScan scan(DeviceScan::kPresent);
  if (!scan.Built()) return FailureCode(GetLastError());
  DWORD result = 0;
  std::vector<std::string> ids;
  while (scan.Next()) {
    PropertyRead r = scan.HardwareIds(&ids);
    if (r == PropertyRead::kMissing) continue;
    if (r == PropertyRead::kFailed) return FailureCode(GetLastError());
    // A device that cannot be removed does not keep the others.
    if (Carries(ids, id) && !hwport::CallClassInstaller(DIF_REMOVE, scan.Set(), scan.Device()))
      result = FailureCode(GetLastError());
  }
  return result;
}

int FindInstalledDriver(DWORD flags) {
  int result = 0;
  for (int bit = 0; bit < 6; ++bit)
    if (flags & (1u << bit)) result = IsHardwareIdPresent(kHardwareIds[bit]);
  return result;
}

DWORD InstallDriver(const char* inf) {
  if (!inf) return ERROR_INVALID_PARAMETER;
  if (hwport::CopyOemInf(inf, nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) return 0;
  return FailureCode(GetLastError());
}

DWORD UninstallDriver(const char* inf) {
  if (!inf) return ERROR_INVALID_PARAMETER;
  // The first copy names no destination buffer: given one, a copy that fails
  // can report ERROR_INSUFFICIENT_BUFFER in place of its own error.
  bool wasInStore = false;
  if (!hwport::CopyOemInf(inf, nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, nullptr, 0, nullptr,
                          nullptr)) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) return FailureCode(error);
    wasInStore = true;
  }
  // The file is in the store now; the second copy only names it.
  char storeCopy[MAX_PATH] = "";
  if (!hwport::CopyOemInf(inf, nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, storeCopy,
                          sizeof storeCopy, nullptr, nullptr) &&
      GetLastError() != ERROR_FILE_EXISTS)
    return FailureCode(GetLastError());
  storeCopy[sizeof storeCopy - 1] = '\0';
  DWORD result = 0;
  // A copy made just now was not in the store before, so no device uses it.
  if (wasInStore)
    for (const char* id : kHardwareIds)
      if (DWORD error = RemoveHardwareIdDevices(id)) result = error;
  if (!DeleteFileA(storeCopy)) result = FailureCode(GetLastError());
  if (!DeleteFileA(PrecompiledName(storeCopy).c_str())) result = FailureCode(GetLastError());
  return result;
}

}  // namespace corvel
