// The bench's power: a fault rule with Action=PowerLoss lets its request
// through and then cuts the power of the whole bench for OffMs (bench clock,
// 5000). Every device leaves the bus at once, without answering the request,
// and nothing arrives while the power is off. When it is back, each device
// that was on the bus (or away in a reboot) boots as after a reboot: the reboot marker decides
// between boot code and firmware, a supply's instruments follow after their
// own RebootMs, and the front panel boots and drops a file it was receiving.
// What the devices keep in flash (their images, the SupplyBlock, the panel's
// stored files) stays.
#include <algorithm>

#include "bench_core.h"

namespace bench {

void Bench::PowerLossLocked(uint32_t offMs, std::vector<std::function<void()>>* done) {
  std::vector<int> slots;
  for (auto& d : devices_) {
    // Away in a reboot counts as on the bus; a device that starts absent
    // stays away.
    if (!d->present && !d->holdBack && file_.GetInt(d->Section(), "Present", 1) == 0) continue;
    slots.push_back(d->Slot());
    // An instrument returns on its own time after its supply, not with it.
    if (d->ParentSlot() >= 0) d->holdBack = true;
  }
  Record("power lost");
  for (int slot : slots) RemoveLocked(slot, done);
  powerOff_ = true;
  // Queued after the removals' notices, so the return's cannot overtake them.
  done->push_back([this, offMs, slots] { After(offMs, [this, slots] { PowerBack(slots); }); });
}

void Bench::PowerBack(std::vector<int> slots) {
  std::vector<int> carried;
  {
    lm::Lock g(lock_);
    powerOff_ = false;
    Record("power back");
    for (int slot : slots) {
      UsbDevice* d = DeviceLocked(slot);
      if (d && d->ParentSlot() >= 0) carried.push_back(slot);
    }
  }
  for (int slot : slots)
    if (std::find(carried.begin(), carried.end(), slot) == carried.end())
      ReturnFromReboot(slot, false);
  for (int slot : carried) {
    uint32_t rebootMs = 1000;
    {
      lm::Lock g(lock_);
      UsbDevice* d = DeviceLocked(slot);
      if (!d) continue;
      rebootMs = static_cast<uint32_t>(file_.GetInt(d->Section(), "RebootMs", 1000));
    }
    After(rebootMs, [this, slot] { ReturnFromReboot(slot, false); });
  }
}

}  // namespace bench
