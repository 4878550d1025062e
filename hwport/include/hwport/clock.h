// The port's clock. Every wait and time-out of the deliverables goes through
// it, so that on the bench long waits run faster by the bench's time scale.
// All times are in milliseconds of the clock, not of the wall.
#pragma once

#include <windows.h>

namespace hwport {

// Milliseconds since an arbitrary start, wrapping like GetTickCount. Never blocks.
DWORD TickCount();

// Blocks the calling thread for ms of the clock (0 yields the processor).
void Sleep(DWORD ms);

// As WaitForSingleObject / WaitForMultipleObjects, with the time-out in ms of
// the clock (INFINITE stays infinite). Returns what the Win32 call returns.
DWORD WaitForObject(HANDLE handle, DWORD ms);
DWORD WaitForObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms);

// As MsgWaitForMultipleObjects: also wakes for window messages of wakeMask.
DWORD MsgWaitForObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask);

// Wall-clock milliseconds that stand for ms of the clock (at least 1 when ms > 0).
DWORD RealMilliseconds(DWORD ms);

}  // namespace hwport
