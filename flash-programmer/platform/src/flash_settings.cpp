#include "tessaro/flash_settings.h"

#include <algorithm>

namespace tessaro {
namespace {
std::atomic<bool> g_stopRequested{false};
FlashTimes g_times;
}  // namespace

void SetStopRequested(bool requested) { g_stopRequested = requested; }
bool IsStopRequested() { return g_stopRequested; }

FlashTimes CurrentFlashTimes() { return g_times; }

void SetFlashTimes(const FlashRecord& f) {
  // A poll period of 0 would never let polls x period pass a time-out.
  g_times.pollPeriod = std::clamp(f.pollPeriod, int32_t{1}, kLongestPollPeriod);
  g_times.chipEraseTimeout = f.chipEraseTimeout;
  g_times.sectorEraseTimeout = f.sectorEraseTimeout;
  g_times.verifyTimeout = f.verifyTimeout;
  g_times.programTimeout = f.programTimeout;
  g_times.autoselectTimeout = f.autoselectTimeout;
}

void ResetFlashSettings() {
  g_stopRequested = false;
  g_times = FlashTimes();
}

}  // namespace tessaro
