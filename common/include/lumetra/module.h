// The module (program or DLL) that holds a given address. Found with
// VirtualQuery, not GetModuleHandleEx (Windows XP and later): a module is
// mapped as one allocation, so its base is the allocation base of any
// address inside it.
#pragma once

#include <windows.h>

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

}  // namespace lm
