// Corvel.dll loaded from the program folder into the test program, its
// device and session exports bound by name as a caller binds them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "corvel/corvel.h"
#include "testsupport/process.h"

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
  int(WINAPI* SetRegister)(LmSession, DWORD, DWORD, const void*, DWORD) = nullptr;
  int(WINAPI* GetRegister)(LmSession, DWORD, DWORD, void*, DWORD) = nullptr;
  int(WINAPI* SendCommand)(LmSession, DWORD) = nullptr;
  int(WINAPI* GetStatus)(LmSession) = nullptr;
  int(WINAPI* GetDeviceCaps)(LmSession, DWORD, DWORD, void*, DWORD) = nullptr;
  int(WINAPI* WriteData)(LmSession, WORD, const void*, DWORD) = nullptr;
  int(WINAPI* ReadData)(LmSession, WORD, void*, DWORD) = nullptr;
  int(WINAPI* HandleEvent)(LmSession, DWORD*, DWORD*, DWORD*) = nullptr;
  int(WINAPI* FlushEventQueue)(LmSession) = nullptr;

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

// One DeviceEvent of an InterruptBuffer.
struct Event {
  uint16_t id;
  uint32_t lParam;
  uint16_t wParam;
};

// An InterruptBuffer holding the events; BufferSize as given, or the
// buffer's own size when 0.
std::vector<uint8_t> EventBuffer(const std::vector<Event>& events, uint16_t bufferSize = 0);
// The device's acknowledgement of a request to the register.
std::vector<uint8_t> Acknowledgement(uint16_t reg);
// A DataPacket: PacketSize (payload + 4), PacketId, payload.
std::vector<uint8_t> DataPacket(uint16_t id, const std::vector<uint8_t>& payload);

// Corvel's mutex "CorvelDll" held by another process (a program of the
// tests) until the end of the scope.
class MutexOfAnotherProcess {
 public:
  MutexOfAnotherProcess();
  ~MutexOfAnotherProcess();
  MutexOfAnotherProcess(const MutexOfAnotherProcess&) = delete;
  MutexOfAnotherProcess& operator=(const MutexOfAnotherProcess&) = delete;
  bool Held() const { return held_; }

 private:
  testsupport::ChildProcess holder_;
  HANDLE heldEvent_ = nullptr;
  HANDLE releaseEvent_ = nullptr;
  bool held_ = false;
};

// The trace log "c:\Corvel.log" as the library left it (end the library
// first: lines reach the file when it is closed).
std::string TraceLogText();

}  // namespace corvel_test
