#include "tessaro/flash_settings.h"

#include <algorithm>

#include "tessaro/library_parts.h"

namespace tessaro {

// Below the library's context, which the units here cannot see: the settings
// of its parts, fresh for each load.
LibrarySettings& Settings() { return Parts().settings; }

void SetStopRequested(bool requested) { Settings().stopRequested = requested; }
bool IsStopRequested() { return Settings().stopRequested; }

FlashTimes CurrentFlashTimes() { return Settings().times; }

void SetFlashTimes(const FlashRecord& f) {
  FlashTimes& t = Settings().times;
  // A poll period of 0 would never let polls x period pass a time-out.
  t.pollPeriod = std::clamp(f.pollPeriod, int32_t{1}, kLongestPollPeriod);
  t.chipEraseTimeout = f.chipEraseTimeout;
  t.sectorEraseTimeout = f.sectorEraseTimeout;
  t.verifyTimeout = f.verifyTimeout;
  t.programTimeout = f.programTimeout;
  t.autoselectTimeout = f.autoselectTimeout;
}

void ResetFlashSettings() {
  Settings().stopRequested = false;
  Settings().times = FlashTimes();
}

}  // namespace tessaro
