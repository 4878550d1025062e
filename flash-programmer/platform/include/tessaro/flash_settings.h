// The library's settings and flash state, one object per load: the user's
// stop request, the time values of the selected flash, the flash operations'
// shared state, the device-control flows' settings (the reboot times learnt
// among them) and whether the module-data commands are active. A module-data
// gate one job closed stays closed for the next job of the same load, and
// the reboot times a reboot test learnt bound the reboots of later jobs.
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

// State shared by the flash operations.
struct FlashShared {
  uint8_t FlashState = 0;  // status index of the operation running or run last
  uint8_t FoundManufactureID = 0;
  uint16_t FoundDeviceID = 0;
  uint8_t FoundSectorProtection = 0;
  bool AddressControl = true;
};

// The device-control flows' settings.
struct DeviceControlSettings {
  int32_t PollTime = 100;
  int32_t MaxSearchTime = 600000;
  int32_t ToSafeRebootTime = 600000;
  int32_t ToFirmwareRebootTime = 600000;
  bool PsPidAlias = false;
};

struct LibrarySettings {
  std::atomic<bool> stopRequested{false};  // set by the form's thread, read by the waits
  std::atomic<bool> waitEnded{false};      // ends a running WaitWithProgress early
  FlashTimes times;
  FlashShared flash;
  DeviceControlSettings control;
  bool PathBDActive = true;  // the module-data commands run (a version check may close them)
};
LibrarySettings& Settings();

void SetStopRequested(bool requested);
bool IsStopRequested();

// The time values now in force; a selected flash replaces the defaults.
FlashTimes CurrentFlashTimes();
void SetFlashTimes(const FlashRecord& flash);
void ResetFlashSettings();

}  // namespace tessaro
