// The module (program or DLL) that holds a given address. Found with
// VirtualQuery, not GetModuleHandleEx (Windows XP and later): a module is
// mapped as one allocation, so its base is the allocation base of any
// address inside it. And the folders a library of the suite's own or of the
// system is loaded from.
#pragma once

#include <windows.h>

#include <string>

// Binding a library's functions by name lives beside it.
#include "lumetra/dll_functions.h"

namespace lm {

inline HMODULE ModuleOf(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof info) == 0) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

// One more reference to the module holding `address` (let go with
// FreeLibrary), so that it stays loaded while a thread runs its code;
// nullptr when it cannot be had.
inline HMODULE PinModuleOf(const void* address) {
  HMODULE module = ModuleOf(address);
  char path[MAX_PATH];
  DWORD n = module ? GetModuleFileNameA(module, path, sizeof path) : 0;
  if (n == 0 || n >= sizeof path) return nullptr;
  return LoadLibraryA(path);
}

// The folder of the process's executable, ending with a backslash; empty
// when it cannot be had.
inline std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  const std::string full(path, n);
  const size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

// The system folder, ending with a backslash; empty when it cannot be had.
inline std::string SystemFolder() {
  char path[MAX_PATH];
  const UINT n = GetSystemDirectoryA(path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  std::string folder(path, n);
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

// Loads a library that comes beside the program or with the system, by its
// full path: `name` from the program's folder when it is there, else from the
// system folder. A bare name would have the loader search the current folder
// as well, where anybody may have left a library of that name; Windows 2000
// has no SetDllDirectory to take it out of the search. A name that holds a
// folder is the caller's own path and is loaded as it is. Null, with the
// loader's last error, when it does not load.
inline HMODULE LoadBesideProgramOrSystem(const std::string& name) {
  if (name.find_first_of("\\/:") != std::string::npos) return LoadLibraryA(name.c_str());
  const std::string beside = ProgramFolder();
  if (!beside.empty() && GetFileAttributesA((beside + name).c_str()) != INVALID_FILE_ATTRIBUTES)
    return LoadLibraryA((beside + name).c_str());
  const std::string system = SystemFolder();
  if (system.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryA((system + name).c_str());
}

}  // namespace lm
