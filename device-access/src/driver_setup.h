// The instrument driver: finding devices by the maker's hardware ids, and
// adding or removing the driver's setup-information file in the driver store.
#pragma once

#include <windows.h>

namespace corvel {

// The hardware ids selected by bits 0 to 5 of LmFindInstalledDriver's flags.
extern const char* const kHardwareIds[6];

// 1 when a present device carries the id among its hardware ids.
int IsHardwareIdPresent(const char* id);
// Removes every present device that carries the id: 0, or the Windows error
// of the last removal (or scan) that failed.
DWORD RemoveHardwareIdDevices(const char* id);

int FindInstalledDriver(DWORD flags);
// 0, or the Windows error of the copy into the driver store.
DWORD InstallDriver(const char* inf);
// 0, or the Windows error of the last step that failed.
DWORD UninstallDriver(const char* inf);

}  // namespace corvel
