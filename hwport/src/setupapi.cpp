#include "hwport/setupapi.h"

#include <cstring>
#include <string>
#include <vector>

#include "hwport/backend.h"

namespace hwport {
namespace {

std::wstring Wide(const char* text) {
  if (!text) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

}  // namespace

HDEVINFO GetAllClassDevices(bool presentOnly) {
  return ActiveBackend().getAllClassDevices(presentOnly ? TRUE : FALSE);
}

BOOL EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) {
  return ActiveBackend().enumDeviceInfo(set, index, device);
}

BOOL GetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                               DWORD* regType, BYTE* buffer, DWORD size, DWORD* required) {
  return ActiveBackend().getDeviceRegistryProperty(set, device, property, regType, buffer, size,
                                                   required);
}

BOOL SetClassInstallParams(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                           DWORD size) {
  return ActiveBackend().setClassInstallParams(set, device, params, size);
}

BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* device) {
  return ActiveBackend().callClassInstaller(function, set, device);
}

BOOL DestroyDeviceInfoList(HDEVINFO set) { return ActiveBackend().destroyDeviceInfoList(set); }

CONFIGRET GetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags) {
  return ActiveBackend().getDevNodeStatus(status, problem, devInst, flags);
}

bool HostControllerOpens(const char* name) {
  return ActiveBackend().hostControllerOpens(name) != FALSE;
}

// The wide call with conversions of our own: SetupCopyOEMInfA under Wine
// reads its size before the wide call has set it when the copy fails, and
// may then report ERROR_INSUFFICIENT_BUFFER instead of the copy's own error.
BOOL CopyOemInf(const char* source, const char* mediaLocation, DWORD mediaType, DWORD copyStyle,
                char* destName, DWORD destSize, DWORD* required, char** destComponent) {
  const std::wstring sourceW = Wide(source), locationW = Wide(mediaLocation);
  std::vector<wchar_t> destW(destName ? destSize : 0);
  DWORD size = 0;
  BOOL ok = SetupCopyOEMInfW(
      source ? sourceW.c_str() : nullptr, mediaLocation ? locationW.c_str() : nullptr, mediaType,
      copyStyle, destName ? destW.data() : nullptr, destName ? destSize : 0, &size, nullptr);
  DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  if (required) *required = size;
  // The copy's name comes with success and with ERROR_FILE_EXISTS.
  if (destName && (ok || error == ERROR_FILE_EXISTS)) {
    if (size > destSize) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    WideCharToMultiByte(CP_ACP, 0, destW.data(), -1, destName, static_cast<int>(destSize), nullptr,
                        nullptr);
    if (destComponent) {
      char* slash = std::strrchr(destName, '\\');
      *destComponent = slash ? slash + 1 : destName;
    }
  }
  SetLastError(error);
  return ok;
}

}  // namespace hwport
