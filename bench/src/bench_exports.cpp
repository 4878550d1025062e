// The bench's control functions for tests: plain cdecl functions looked up by
// name (the port's own operations come through BenchBackend).
#include <windows.h>

#include <cstring>

#include "bench_core.h"

using bench::Bench;

#define BENCH_EXPORT extern "C" __declspec(dllexport)

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

// Why the bench refused the last bench file it was opened on ("" when it
// took it); valid until the bench is opened again.
BENCH_EXPORT const char* BenchRefusal() { return Bench::Instance().Refusal().c_str(); }

BENCH_EXPORT void BenchClearRecord() { Bench::Instance().ClearRecord(); }

BENCH_EXPORT BOOL BenchRemoveDevice(int slot) { return Bench::Instance().Remove(slot); }

BENCH_EXPORT BOOL BenchArriveDevice(int slot) { return Bench::Instance().Arrive(slot); }

// Puts one transfer on a device's IN endpoint, as the device would send it.
BENCH_EXPORT BOOL BenchQueueTransfer(int slot, BYTE endpoint, const void* data, DWORD length) {
  return Bench::Instance().QueueTransfer(slot, endpoint, static_cast<const uint8_t*>(data), length);
}

// Gives every answer the bench holds back for a time (a Late rule's, a
// NoAnswer rule's time-out) now, as at its time; returns how many there were.
BENCH_EXPORT DWORD BenchAnswerHeld() { return static_cast<DWORD>(Bench::Instance().AnswerHeld()); }

// The n-th DataPacket the device took on 0x02 (oldest first): copies it and
// returns its length, or -1 when there is none.
BENCH_EXPORT int BenchPacketTaken(int slot, int index, void* buffer, DWORD size) {
  auto packets = Bench::Instance().PacketsTaken(slot);
  if (index < 0 || static_cast<size_t>(index) >= packets.size()) return -1;
  const auto& p = packets[static_cast<size_t>(index)];
  if (buffer) std::memcpy(buffer, p.data(), p.size() < size ? p.size() : size);
  return static_cast<int>(p.size());
}
