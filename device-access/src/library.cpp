#include "library.h"

#include "device_table.h"
#include "lumetra/module.h"

namespace corvel {
namespace {

constexpr char kMutexName[] = "CorvelDll";
constexpr char kTraceLogPath[] = "c:\\Corvel.log";
constexpr char kRegistryKey[] = "SOFTWARE\\Vandrel\\Corvel";

// The module holding this code: the library's own, not the caller's program.
HINSTANCE ThisModule() { return lm::ModuleOf(reinterpret_cast<const void*>(&ThisModule)); }

}  // namespace

DWORD ReadSnoozeTimer(DWORD fallback) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return fallback;
  DWORD value = 0, size = sizeof value, type = 0;
  LONG rc =
      RegQueryValueExA(key, "SnoozeTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return (rc == ERROR_SUCCESS && size == sizeof value) ? value : fallback;
}

void Library::Init() {
  // A second start would leave a second window and thread behind; the
  // library stays as the first start made it.
  if (initialised_) return;
  initialised_ = true;
  ClearTables();
  mutex_ = CreateMutexA(nullptr, FALSE, kMutexName);
  if (!mutex_) return;
  log_.Open(kTraceLogPath);
  UpdateDeviceTable();
  snoozeTimer_ = ReadSnoozeTimer(1);
  HINSTANCE module = ThisModule();
  if (!watcher_.RegisterWindowClass(module)) return;
  watcher_.Start(module, &log_);
}

void Library::Exit() {
  if (!initialised_) return;
  // The watcher ends first: a refresh it ran after the tables were released
  // would build them again behind the end of the library.
  watcher_.Stop();
  ReleaseTables();
  log_.Close();
  if (mutex_) CloseHandle(mutex_);
  mutex_ = nullptr;
  snoozeTimer_ = 1;
  initialised_ = false;
}

Library& TheLibrary() {
  // Never destroyed: unloading the library does no work, and a watcher left
  // running by a caller that never ended the library must not be waited for
  // while the loader holds its lock.
  static Library* library = new Library;
  return *library;
}

}  // namespace corvel
