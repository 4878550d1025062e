#include "hwport/clock.h"

#include "hwport/port.h"

namespace hwport {
namespace {

// The bench's clock: ticks, and the wall time that a span of the clock takes.
struct BenchClock {
  DWORD (*tickCount)() = nullptr;
  DWORD (*realMs)(DWORD) = nullptr;
};

const BenchClock& Bench() {
  static const BenchClock clock = [] {
    BenchClock c;
    c.tickCount = BenchFunction<DWORD (*)()>("BenchTickCount");
    c.realMs = BenchFunction<DWORD (*)(DWORD)>("BenchRealMilliseconds");
    if (!c.tickCount || !c.realMs) c = BenchClock{};
    return c;
  }();
  return clock;
}

DWORD RealTimeout(DWORD ms) { return ms == INFINITE ? INFINITE : RealMilliseconds(ms); }

}  // namespace

DWORD TickCount() {
  const BenchClock& b = Bench();
  return b.tickCount ? b.tickCount() : GetTickCount();
}

DWORD RealMilliseconds(DWORD ms) {
  const BenchClock& b = Bench();
  if (!b.realMs || ms == 0) return ms;
  DWORD real = b.realMs(ms);
  return real == 0 ? 1 : real;
}

void Sleep(DWORD ms) { ::Sleep(RealTimeout(ms)); }

DWORD WaitForObject(HANDLE handle, DWORD ms) {
  return ::WaitForSingleObject(handle, RealTimeout(ms));
}

DWORD WaitForObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms) {
  return ::WaitForMultipleObjects(count, handles, waitAll, RealTimeout(ms));
}

DWORD MsgWaitForObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms,
                        DWORD wakeMask) {
  return ::MsgWaitForMultipleObjects(count, handles, waitAll, RealTimeout(ms), wakeMask);
}

}  // namespace hwport
