#include "tessaro/flash_settings.h"

#include <algorithm>

namespace tessaro {
namespace {
// Below the library's context, which the units here cannot see: made with the
// library's statics, fresh for each load.
LibrarySettings g_settings;
}  // namespace

LibrarySettings& Settings() { return g_settings; }

void SetStopRequested(bool requested) { g_settings.stopRequested = requested; }
bool IsStopRequested() { return g_settings.stopRequested; }

FlashTimes CurrentFlashTimes() { return g_settings.times; }

void SetFlashTimes(const FlashRecord& f) {
  FlashTimes& t = g_settings.times;
  // A poll period of 0 would never let polls x period pass a time-out.
  t.pollPeriod = std::clamp(f.pollPeriod, int32_t{1}, kLongestPollPeriod);
  t.chipEraseTimeout = f.chipEraseTimeout;
  t.sectorEraseTimeout = f.sectorEraseTimeout;
  t.verifyTimeout = f.verifyTimeout;
  t.programTimeout = f.programTimeout;
  t.autoselectTimeout = f.autoselectTimeout;
}

void ResetFlashSettings() {
  g_settings.stopRequested = false;
  g_settings.times = FlashTimes();
}

}  // namespace tessaro
