// The bench's entry points: plain cdecl functions the hardware port looks up
// by name, and the control functions tests use.
#include <windows.h>

#include <cstring>

#include "bench_core.h"

using bench::Bench;

#define BENCH_EXPORT extern "C" __declspec(dllexport)

BENCH_EXPORT HANDLE BenchDriverCreateFile(const char* path) {
  return Bench::Instance().CreateDriverFile(path);
}

BENCH_EXPORT BOOL BenchDriverIoControl(HANDLE h, DWORD code, const void* in, DWORD inSize,
                                       void* out, DWORD outSize, DWORD* bytes, OVERLAPPED* ov) {
  return Bench::Instance().IoControl(h, code, in, inSize, out, outSize, bytes, ov);
}

BENCH_EXPORT BOOL BenchDriverReadFile(HANDLE h, void* buffer, DWORD length, DWORD* bytes,
                                      OVERLAPPED* ov) {
  return Bench::Instance().Transfer(h, true, buffer, length, bytes, ov);
}

BENCH_EXPORT BOOL BenchDriverWriteFile(HANDLE h, const void* buffer, DWORD length, DWORD* bytes,
                                       OVERLAPPED* ov) {
  return Bench::Instance().Transfer(h, false, const_cast<void*>(buffer), length, bytes, ov);
}

BENCH_EXPORT BOOL BenchDriverGetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* bytes,
                                                 BOOL wait) {
  return Bench::Instance().OverlappedResult(h, ov, bytes, wait);
}

BENCH_EXPORT BOOL BenchDriverCancelIo(HANDLE h) { return Bench::Instance().CancelIo(h); }

BENCH_EXPORT BOOL BenchDriverCloseHandle(HANDLE h) {
  return Bench::Instance().CloseDriverHandle(h);
}

BENCH_EXPORT HANDLE BenchInterfaceList(const GUID* guid) {
  return Bench::Instance().MakeInterfaceList(guid);
}

BENCH_EXPORT BOOL BenchEnumInterface(HANDLE set, const GUID* guid, DWORD index, void* data) {
  return Bench::Instance().EnumInterface(set, guid, index, data);
}

BENCH_EXPORT BOOL BenchInterfaceDetail(HANDLE set, const void* data, void* detail, DWORD size,
                                       DWORD* required) {
  return Bench::Instance().InterfaceDetail(set, data, detail, size, required);
}

BENCH_EXPORT BOOL BenchDestroyInterfaceList(HANDLE set) {
  return Bench::Instance().DestroyInterfaceList(set);
}

BENCH_EXPORT HANDLE BenchRegisterNotices(HWND window, const GUID* classGuid) {
  return Bench::Instance().RegisterNotices(window, classGuid);
}

BENCH_EXPORT BOOL BenchUnregisterNotices(HANDLE id) {
  return Bench::Instance().UnregisterNotices(id);
}

// ---- control functions for tests -------------------------------------------

// Copies the call record (one call a line) into `buffer`; returns the length
// the whole record needs (without the terminator).
BENCH_EXPORT DWORD BenchCallRecord(char* buffer, DWORD size) {
  std::string text = Bench::Instance().RecordText();
  if (buffer && size) {
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<DWORD>(text.size());
}

BENCH_EXPORT void BenchClearRecord() { Bench::Instance().ClearRecord(); }

BENCH_EXPORT BOOL BenchRemoveDevice(int slot) { return Bench::Instance().Remove(slot); }

BENCH_EXPORT BOOL BenchArriveDevice(int slot) { return Bench::Instance().Arrive(slot); }

// Puts one transfer on a device's IN endpoint, as the device would send it.
BENCH_EXPORT BOOL BenchQueueTransfer(int slot, BYTE endpoint, const void* data, DWORD length) {
  return Bench::Instance().QueueTransfer(slot, endpoint, static_cast<const uint8_t*>(data), length);
}

// The n-th DataPacket the device took on 0x02 (oldest first): copies it and
// returns its length, or -1 when there is none.
BENCH_EXPORT int BenchPacketTaken(int slot, int index, void* buffer, DWORD size) {
  auto packets = Bench::Instance().PacketsTaken(slot);
  if (index < 0 || static_cast<size_t>(index) >= packets.size()) return -1;
  const auto& p = packets[static_cast<size_t>(index)];
  if (buffer) std::memcpy(buffer, p.data(), p.size() < size ? p.size() : size);
  return static_cast<int>(p.size());
}
