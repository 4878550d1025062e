// What the device-control flows share among their files: the wait, the one
// bus search and the reboot command.
#pragma once

#include <cstdint>
#include <functional>

#include "tessaro/device_control.h"
#include "tessaro/device_list.h"

namespace tessaro {

// How long a reboot flow watches a device leave before it goes on.
constexpr int32_t kLeaveWatchMs = 5000;

// The library's wait (messages served); a negative time waits nothing.
void ControlWait(int32_t ms);

// One look at the bus, the search every flow runs: from `from` on, in list
// order, the first listed device that `takes` accepts; its index, or -1.
using BusTest = std::function<bool(int index, const TDeviceInfo& device)>;
int SearchBus(TDeviceList& list, const BusTest& takes, int from = 0);
// The wanted vendor id and a matching product id (PidMatches).
bool IsOfType(const TDeviceInfo& device, uint16_t vid, uint16_t pid);
bool IsSupply(const TDeviceInfo& device);

// The reboot command of the flows: its error (none is expected) is normal.
void RebootCommand(TDevice* device, const ControlView& view);
// Watches the device with this identity (serial compared) leave the bus, at
// most `limitMs`; true when it left.
bool WatchLeave(const DeviceIdentity& who, int32_t limitMs);

}  // namespace tessaro
