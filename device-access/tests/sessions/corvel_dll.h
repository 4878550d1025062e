// Corvel.dll loaded from the program folder into the test program, its
// device and session exports bound by name as a caller binds them.
#pragma once

#include <windows.h>

#include <string>

#include "corvel/corvel.h"

namespace corvel_test {

struct CorvelDll {
  CorvelDll();
  ~CorvelDll();
  CorvelDll(const CorvelDll&) = delete;
  CorvelDll& operator=(const CorvelDll&) = delete;

  HMODULE module = nullptr;
  int(WINAPI* LibInit)() = nullptr;
  int(WINAPI* LibExit)() = nullptr;
  int(WINAPI* UpdateDeviceList)() = nullptr;
  int(WINAPI* GetDeviceCount)() = nullptr;
  int(WINAPI* GetDeviceInfo)(DWORD, DWORD*, DWORD*, DWORD*, DWORD*) = nullptr;
  int(WINAPI* OpenDevice)(const char*, LmSession*) = nullptr;
  int(WINAPI* CloseDevice)(LmSession) = nullptr;
  int(WINAPI* SetAttribute)(LmSession, DWORD, DWORD) = nullptr;
  int(WINAPI* GetAttribute)(LmSession, DWORD, void*) = nullptr;

  bool Bound() const;
  // Attribute id of the session as a text ("<status 0x...>" on a failure).
  std::string Text(LmSession session, DWORD id);
};

// The status as the exports return it.
inline int Status(DWORD code) { return static_cast<int>(code); }

// An alias key under HKLM\SOFTWARE\Vandrel\Corvel, removed again (with the
// Corvel key when this made it) at the end of the scope.
class AliasKey {
 public:
  // Without a resource, the subkey has no "ModuleResource".
  AliasKey(const std::string& alias, const char* resource);
  ~AliasKey();
  AliasKey(const AliasKey&) = delete;
  AliasKey& operator=(const AliasKey&) = delete;

 private:
  std::string alias_;
  bool madeVandrelKey_ = false;
  bool madeCorvelKey_ = false;
};

}  // namespace corvel_test
