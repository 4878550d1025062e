#include "environment/system_environment.h"

#include <windows.h>

#include <cstdlib>

#include "environment/log_writer.h"
#include "lumetra/module.h"

SystemEnvironment* theEnvironment = nullptr;

namespace {

std::string EnvironmentValue(const char* name) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  return std::string(buffer, n);
}

}  // namespace

SystemEnvironment::SystemEnvironment()
    : hostFunctions_(std::make_unique<CorvelBinding>(ApplicationFolder() + "Corvel.dll")) {
  tempFolder = EnvironmentValue("TEMP");
  if (tempFolder.empty()) tempFolder = EnvironmentValue("TMP");
}

void SystemEnvironment::SetUsbHostFunctions(std::unique_ptr<UsbHostFunctions> functions) {
  hostFunctions_ = std::move(functions);
}

bool SystemEnvironment::FindUsbHost() {
  if (hostFunctions_->FindHostUSB() == 0) return false;
  usbVersion = hostFunctions_->FindExtendedUSBHost() != 0 ? 20 : 11;
  return true;
}

int SystemEnvironment::QueryUsb2Host() {
  const int r = hostFunctions_->FindExtendedUSBHost();
  usbVersion = r != 0 ? 20 : 11;
  return r;
}

int SystemEnvironment::QueryUsb2HostDisabled() {
  const int r = hostFunctions_->IsUSBHostDisabled();
  usb2HostEnabled = r == 0;
  return r;
}

bool SystemEnvironment::SuspendUsb2Host() {
  if (hostFunctions_->FindExtendedUSBHost() != 0 && hostFunctions_->IsUSBHostDisabled() == 0) {
    usb2HostSuspended = true;
    usb2HostRestored = false;
    // Marked before the switch: a run killed in between leaves a mark on an
    // enabled controller, which the next run switches off and on itself.
    MarkUsb2HostOff(true);
    hostFunctions_->DisableUSBHost();
    return true;
  }
  usb2HostSuspended = false;
  return false;
}

bool SystemEnvironment::AdoptUsb2HostLeftOff() {
  if (!Usb2HostMarkedOff()) return false;
  if (hostFunctions_->FindExtendedUSBHost() == 0 || hostFunctions_->IsUSBHostDisabled() == 0) {
    // Switched on since (by hand or by another tool): nothing is left to do.
    MarkUsb2HostOff(false);
    return false;
  }
  LogTrace("USB2 was switched off by an earlier run of Kestor; it is switched on at the end\n");
  usb2HostSuspended = true;
  usb2HostRestored = false;
  return true;
}

bool SystemEnvironment::RestoreUsb2Host() {
  if (!usb2HostSuspended) return false;
  // A failed switch keeps the mark, so the next run tries again.
  if (hostFunctions_->EnableUSBHost() != 0) MarkUsb2HostOff(false);
  usb2HostRestored = true;
  return true;
}

bool SystemEnvironment::Usb2HostMarkedOff() const {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, registryKeyPath_.c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return false;
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  const LONG r =
      RegQueryValueExA(key, kUsb2OffValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value != 0;
}

void SystemEnvironment::MarkUsb2HostOff(bool off) {
  HKEY key = nullptr;
  if (!off) {
    if (RegOpenKeyExA(HKEY_CURRENT_USER, registryKeyPath_.c_str(), 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(key, kUsb2OffValue);
      RegCloseKey(key);
    }
    return;
  }
  if (RegCreateKeyExA(HKEY_CURRENT_USER, registryKeyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    LogTrace("USB2 switch-off could not be remembered in the registry\n");
    return;
  }
  const DWORD value = 1;
  if (RegSetValueExA(key, kUsb2OffValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof value) != ERROR_SUCCESS)
    LogTrace("USB2 switch-off could not be remembered in the registry\n");
  RegFlushKey(key);
  RegCloseKey(key);
}

bool SystemEnvironment::EnsureUsb2HostRestored() {
  if (!usb2HostSuspended || usb2HostRestored) return false;
  LogTrace("\nReactivating USB2 at the end of Kestor\n");
  return RestoreUsb2Host();
}

bool SystemEnvironment::CheckOperatingSystem() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;  // the 148-byte form
  if (!GetVersionExA(&info)) return osSupported;
  osName = OperatingSystemName(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                               &osSupported);
  return osSupported;
}

bool SystemEnvironment::SetProgramFolder() {
  programFolderText = "c:\\programme";
  return true;
}

std::string OperatingSystemName(unsigned platformId, unsigned major, unsigned minor,
                                bool* supported) {
  if (platformId == 1) {
    *supported = false;
    if (minor == 0) return "Windows 95";
    if (minor == 10) return "Windows 98";
    if (minor == 90) return "Windows ME";
    return "unknown";
  }
  if (platformId == 2) {
    if (major == 3 || major == 4) {
      *supported = false;
      return major == 3 ? "Windows NT 3.51" : "Windows NT 4.0";
    }
    if (major == 5) {
      *supported = true;
      return minor == 0 ? "Windows 2000" : "Windows XP";
    }
  }
  return "unknown";
}

std::string ApplicationFolder() { return lm::ProgramFolder(); }

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string NumberText(int value) { return std::to_string(value); }
