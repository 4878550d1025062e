// Fault actions that reach past the device a request went to, for the
// whole-instrument faults of an update:
//   Action=Unplug        the instrument's cable is pulled at this request: its
//                        top carrier (the power supply) leaves the bus with
//                        everything it carries, and all stay away
//   Action=RebootSupply  the device's carrier reboots by itself at this
//                        request (its RebootMs and RebootFault keys apply;
//                        the instruments it carries leave and return with it)
// A device without a carrier takes the action itself.
#include "bench_core.h"

namespace bench {

bool Bench::CarrierFaultLocked(const FaultRule& rule, int slot,
                               std::vector<std::function<void()>>* done) {
  if (rule.action != "Unplug" && rule.action != "RebootSupply") return false;
  int top = slot;
  // Bounded by the number of devices: a carrier loop in a bench file ends too.
  for (size_t hop = 0; hop < devices_.size(); ++hop) {
    UsbDevice* d = DeviceLocked(top);
    if (!d || d->ParentSlot() < 0 || !DeviceLocked(d->ParentSlot())) break;
    top = d->ParentSlot();
  }
  if (rule.action == "Unplug")
    RemoveLocked(top, done);
  else
    RebootLocked(top, done);
  return true;
}

}  // namespace bench
