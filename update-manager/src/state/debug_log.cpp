#include "state/debug_log.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "resource.h"

namespace {

bool ReadWhole(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes->append(buffer, got);
  CloseHandle(file);
  return true;
}

// The lines of a text file, each without its line break, each written back
// followed by "\n" (stored as CR LF).
std::string LinesText(const std::string& bytes) {
  std::string text;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    if (end > start && bytes[end - 1] == '\r') --end;
    text.append(bytes, start, end - start);
    text += '\n';
    start = next;
  }
  return text;
}

bool EndsWithUpdaterClosed(const std::string& bytes) {
  static const std::string kClosed = "updater closed!";
  if (bytes.size() <= kClosed.size()) return false;  // 15 bytes or less: always archived
  size_t end = bytes.size();
  while (end > 0 && (bytes[end - 1] == '\r' || bytes[end - 1] == '\n')) --end;
  if (end < kClosed.size()) return false;
  std::string tail = bytes.substr(end - kClosed.size(), kClosed.size());
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == kClosed;
}

// Appends text to the update log, its folder made when missing; false when
// the update log could not take it (a file where its folder should be).
bool Archive(const SystemEnvironment& environment, const std::string& text) {
  CreateDirectoryA(environment.UpdateLogFolder().c_str(), nullptr);
  return AppendLogTextLocked(environment.UpdateLogPath(), text);
}

// A debug log the update log could not take stays on disk and says so; as
// it does not end with "Updater Closed!", the next start tries again.
void NoteNotArchived(const SystemEnvironment& environment) {
  AppendLogTextLocked(environment.DebugLogPath(), "\nThe log above could not be archived in " +
                                                      environment.UpdateLogPath() + "\n");
}

}  // namespace

bool RecoverDebugLog(const SystemEnvironment& environment) {
  LogFileLock busy;
  const std::string debugLog = environment.DebugLogPath();
  std::string bytes;
  if (!ReadWhole(debugLog, &bytes)) return true;
  if (!EndsWithUpdaterClosed(bytes) && !Archive(environment, LinesText(bytes))) {
    // Kept: this run's log goes on behind it.
    NoteNotArchived(environment);
    return false;
  }
  DeleteFileA(debugLog.c_str());
  return EndsWithUpdaterClosed(bytes);
}

std::string LogHeaderText(const SystemEnvironment& environment, const std::string& version,
                          const std::string& suppDevice, bool hostFound) {
  std::string text = "Kestor Logfile\n-------------------------\nRelease " KESTOR_RELEASE "\n\n";
  text += "\nUpdate-Revision     : " + version + "\n";
  text += "Supported Device    : " + suppDevice + "\n\n\n";
  text += "System stats:\nOperating System    : " + environment.OsName();
  text += "\nUSB Installed       : ";
  if (hostFound) {
    text += "yes\nUSB 2.0             : ";
    if (environment.UsbVersion() == 20) {
      text += "yes\nUSB2 activated      : ";
      text += environment.Usb2HostEnabled() ? "yes\n" : "no\n";
    } else {
      text += "no\n";
    }
  } else {
    text += "no\n";
  }
  SYSTEMTIME today;
  GetLocalTime(&today);
  char date[32];
  std::snprintf(date, sizeof date, "%04u-%02u-%02u\n", today.wYear, today.wMonth, today.wDay);
  text += std::string("SystemDate          : ") + date;
  return text;
}

void WriteLogHeader(const SystemEnvironment& environment, const std::string& version,
                    const std::string& suppDevice, bool hostFound) {
  AppendLogText(environment.DebugLogPath(),
                LogHeaderText(environment, version, suppDevice, hostFound));
}

bool CloseDebugLog(const SystemEnvironment& environment, int errorIndex, bool updateInstalled) {
  LogFileLock busy;
  const std::string debugLog = environment.DebugLogPath();
  std::string bytes;
  if (!ReadWhole(debugLog, &bytes)) return false;
  if (!FileExists(environment.UpdateLogPath()) && errorIndex == 0) {
    AppendLogTextLocked(debugLog, updateInstalled ? "Update finished!" : "No update installed!");
    return true;
  }
  // The debug log stays as it is, ending with "Updater Closed!": the next
  // start sees it archived and only deletes it.
  if (!Archive(environment, "\n\n\n" + LinesText(bytes))) NoteNotArchived(environment);
  return true;
}
