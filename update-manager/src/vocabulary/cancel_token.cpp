#include "vocabulary/cancel_token.h"

#include <algorithm>

#include "hwport/clock.h"

bool WaitUnlessCancelled(DWORD ms, DWORD stepMs, const std::function<bool()>& stop) {
  for (DWORD waited = 0; waited < ms; waited += stepMs) {
    if (stop()) return false;
    hwport::Sleep(std::min(stepMs, ms - waited));
  }
  return !stop();
}

bool CancelToken::Wait(DWORD ms, DWORD stepMs, const std::function<void(DWORD)>& tick) const {
  DWORD steps = 0;
  return WaitUnlessCancelled(ms, stepMs, [&] {
    if (tick) tick(steps);
    ++steps;
    return Requested();
  });
}
