#include "hwport/clock.h"

#include "hwport/backend.h"

namespace hwport {
namespace {

DWORD RealTimeout(DWORD ms) { return ms == INFINITE ? INFINITE : RealMilliseconds(ms); }

}  // namespace

DWORD TickCount() { return ActiveBackend().tickCount(); }

DWORD RealMilliseconds(DWORD ms) {
  if (ms == 0) return 0;
  DWORD real = ActiveBackend().realMilliseconds(ms);
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
