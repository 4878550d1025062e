// The library's settings of this load (LibrarySettings) and the flash's time
// values in force.
#pragma once

#include "tessaro/flash_description.h"
#include "tessaro/library_settings.h"

namespace tessaro {

LibrarySettings& Settings();

void SetStopRequested(bool requested);
bool IsStopRequested();

// The time values now in force; a selected flash replaces the defaults.
FlashTimes CurrentFlashTimes();
void SetFlashTimes(const FlashRecord& flash);
void ResetFlashSettings();

}  // namespace tessaro
