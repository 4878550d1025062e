// The flash operations' shared settings that the form and the waits touch:
// the user's stop request and the time values of the selected flash.
#pragma once

#include <atomic>
#include <cstdint>

#include "tessaro/flash_description.h"

namespace tessaro {

struct FlashTimes {
  int32_t pollPeriod = 100;
  int32_t chipEraseTimeout = 60000;
  int32_t sectorEraseTimeout = 1700;
  int32_t verifyTimeout = 1000;
  int32_t programTimeout = 2000;
  int32_t autoselectTimeout = 500;
};

// The longest poll period a flash description gives the operations: a poll
// sleeps that long between two status reads, and a file's value near 2^31 ms
// would sleep for weeks. A shorter period only polls more often.
constexpr int32_t kLongestPollPeriod = 1000;

void SetStopRequested(bool requested);
bool IsStopRequested();

// The time values now in force; a selected flash replaces the defaults.
FlashTimes CurrentFlashTimes();
void SetFlashTimes(const FlashRecord& flash);
void ResetFlashSettings();

}  // namespace tessaro
