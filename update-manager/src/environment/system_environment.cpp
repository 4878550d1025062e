#include "environment/system_environment.h"

#include <windows.h>

#include <cstdlib>

SystemEnvironment* theEnvironment = nullptr;

namespace {

std::string EnvironmentValue(const char* name) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  return std::string(buffer, n);
}

}  // namespace

SystemEnvironment::SystemEnvironment() {
  tempFolder = EnvironmentValue("TEMP");
  if (tempFolder.empty()) tempFolder = EnvironmentValue("TMP");
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

std::string ApplicationFolder() {
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full(path, n);
  size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string NumberText(int value) { return std::to_string(value); }
