#include "vocabulary/cancel_token.h"

#include <algorithm>

#include "hwport/clock.h"

bool CancelToken::Wait(DWORD ms, DWORD stepMs, const std::function<void(DWORD)>& tick) const {
  DWORD steps = 0;
  auto cancelled = [&] {
    if (tick) tick(steps);
    ++steps;
    return Requested();
  };
  for (DWORD waited = 0; waited < ms; waited += stepMs) {
    if (cancelled()) return false;
    hwport::Sleep(std::min(stepMs, ms - waited));
  }
  return !cancelled();
}
