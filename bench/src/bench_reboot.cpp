// What a bench device does when it is told to reboot, and the events it
// sends when it comes back or when its event pipe is bound.
//
// Keys of a [DeviceN] section:
//   RebootMarker=1     the reboot marker (CMD_MARKER_REBOOT 1 sets, 2 clears)
//   RebootMs=1000      bench-clock time a reboot keeps the device away
//   RebootLeaveMs=0    bench-clock time the device stays on the bus after
//                      the reboot request before it leaves
//   Mode=boot          state: back from a reboot with the marker set, the
//                      device runs its boot code: 0x0200 and 0x1010 stall,
//                      flash commands work, the serial reads SafeSerial
//   SafeSerial=...     (the serial with "safe" after its first character;
//                      "safety mode" makes the connection treat it as
//                      unconfigured)
//   RebootFault=NoReturn|WrongMode|Stays  what goes wrong at a reboot, for
//   RebootFaultTimes=1 this many reboots (0: every one) after
//   RebootFaultAfter=0 this many good ones; Reboots counts them
//   ArrivalEvents=6020@0     events queued on 0x83 when the device arrives
//   BindEvents=6F02@100,6020@200   events sent after 0x83 is bound (bench
//   BindEventsN=...    clock delays); N-th bind only (Binds counts them)
// A supply's reboot takes the instruments it carries off the bus with it;
// each comes back after its own RebootMs. A supply back from a reboot, or
// from a power loss, boots its front panel, which has lost the file it was
// receiving.
#include <windows.h>

#include <cstdio>
#include <sstream>

#include "bench_core.h"
#include "usb_protocol.h"

namespace bench {
namespace {

constexpr uint16_t kMarkerReboot = 0x0316;
constexpr uint32_t kDefaultRebootMs = 1000;

struct ScriptedEvent {
  uint16_t id = 0;
  uint32_t delayMs = 0;
};

// "6020@100,6F02" (hex event ids, bench-clock delays).
std::vector<ScriptedEvent> ParseEvents(const std::string& text) {
  std::vector<ScriptedEvent> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    ScriptedEvent e;
    unsigned id = 0, delay = 0;
    if (std::sscanf(item.c_str(), " %x @ %u", &id, &delay) < 1) continue;
    e.id = static_cast<uint16_t>(id);
    e.delayMs = delay;
    out.push_back(e);
  }
  return out;
}

std::vector<uint8_t> EventTransfer(uint16_t eventId) {
  std::vector<uint8_t> t(10, 0);
  PutU16(&t[0], 10);
  PutU16(&t[2], eventId);
  return t;
}

}  // namespace

void Bench::DeviceCommandLocked(UsbDevice& d, uint16_t facId, const uint8_t* data, uint32_t len,
                                std::vector<std::function<void()>>* done) {
  if (facId != kMarkerReboot || len != 4 || !data) return;
  uint16_t what = GetU16(data);
  if (what == 1 || what == 2) file_.Set(d.Section(), "RebootMarker", what == 1 ? "1" : "0");
  if (what == 3) RebootLocked(d.Slot(), done);
}

// Which reboot fault fires for this reboot, empty for none.
std::string Bench::RebootFaultLocked(UsbDevice& d) {
  const std::string& s = d.Section();
  int64_t reboots = file_.GetInt(s, "Reboots", 0) + 1;
  file_.Set(s, "Reboots", std::to_string(reboots));
  std::string fault = file_.Get(s, "RebootFault");
  int64_t times = file_.GetInt(s, "RebootFaultTimes", 1);
  int64_t after = file_.GetInt(s, "RebootFaultAfter", 0);
  if (fault.empty() || reboots <= after || (times > 0 && reboots > after + times)) return {};
  Record("fault device " + std::to_string(d.Slot()) + " reboot " + fault);
  return fault;
}

void Bench::RebootLocked(int slot, std::vector<std::function<void()>>* done) {
  UsbDevice* d = DeviceLocked(slot);
  if (!d || !d->present) return;
  std::string fault = RebootFaultLocked(*d);
  Record("device " + std::to_string(slot) + " reboots");
  if (fault == "Stays") return;
  int64_t leaveMs = file_.GetInt(d->Section(), "RebootLeaveMs", 0);
  if (leaveMs <= 0) return LeaveForRebootLocked(slot, fault, done);
  After(static_cast<uint32_t>(leaveMs), [this, slot, fault] {
    std::vector<std::function<void()>> left;
    {
      lm::Lock g(lock_);
      LeaveForRebootLocked(slot, fault, &left);
    }
    for (auto& f : left) f();
  });
}

void Bench::LeaveForRebootLocked(int slot, const std::string& fault,
                                 std::vector<std::function<void()>>* done) {
  UsbDevice* d = DeviceLocked(slot);
  if (!d || !d->present) return;
  // The instruments a supply carries return on their own time, not with it.
  std::vector<int> carried;
  for (auto& child : devices_)
    if (child->ParentSlot() == slot && child->present) {
      child->holdBack = true;
      carried.push_back(child->Slot());
    }
  RemoveLocked(slot, done);
  bool wrongMode = fault == "WrongMode";
  if (fault != "NoReturn")
    After(static_cast<uint32_t>(file_.GetInt(d->Section(), "RebootMs", kDefaultRebootMs)),
          [this, slot, wrongMode] { ReturnFromReboot(slot, wrongMode); });
  for (int c : carried) {
    UsbDevice* child = DeviceLocked(c);
    After(static_cast<uint32_t>(file_.GetInt(child->Section(), "RebootMs", kDefaultRebootMs)),
          [this, c] { ReturnFromReboot(c, false); });
  }
}

void Bench::ReturnFromReboot(int slot, bool wrongMode) {
  std::vector<std::function<void()>> done;
  {
    lm::Lock g(lock_);
    UsbDevice* d = DeviceLocked(slot);
    if (!d || d->present) return;
    d->holdBack = false;
    // A carrier that is still away brings the instrument back when it returns.
    int parent = d->ParentSlot();
    UsbDevice* p = parent >= 0 ? DeviceLocked(parent) : nullptr;
    if (p && !p->present) return;
    const std::string& s = d->Section();
    bool safe = file_.GetInt(s, "RebootMarker", 0) == 1;
    if (wrongMode) safe = !safe;
    if (safe && !file_.Has(s, "SafeSerial")) {
      std::string serial = file_.Get(s, "Serial");
      if (!serial.empty())
        file_.Set(s, "SafeSerial", serial.substr(0, 1) + "safe" + serial.substr(1));
    }
    file_.Set(s, "Mode", safe ? "boot" : "");
    // Whatever made the supply restart, its front panel restarts with it.
    if (d->IsSupply()) d->Restart(0);
    ArriveLocked(slot, &done);
    ArrivedLocked(*d);
  }
  for (auto& f : done) f();
}

void Bench::ArrivedLocked(UsbDevice& d) {
  for (const ScriptedEvent& e : ParseEvents(file_.Get(d.Section(), "ArrivalEvents")))
    SendEventLater(d.Slot(), d.generation, e.id, e.delayMs);
}

void Bench::BoundLocked(UsbDevice& d, uint8_t endpoint) {
  if (endpoint != 0x83) return;
  const std::string& s = d.Section();
  int64_t binds = file_.GetInt(s, "Binds", 0) + 1;
  file_.Set(s, "Binds", std::to_string(binds));
  std::string key = "BindEvents" + std::to_string(binds);
  std::string script = file_.Has(s, key) ? file_.Get(s, key) : file_.Get(s, "BindEvents");
  for (const ScriptedEvent& e : ParseEvents(script))
    SendEventLater(d.Slot(), d.generation, e.id, e.delayMs);
}

void Bench::SendEventLater(int slot, uint32_t generation, uint16_t eventId, uint32_t delayMs) {
  After(delayMs, [this, slot, generation, eventId] {
    std::vector<std::function<void()>> done;
    {
      lm::Lock g(lock_);
      UsbDevice* d = DeviceLocked(slot);
      // Sent by the device as it was then: a device that left meanwhile sends nothing.
      if (!d || !d->present || d->generation != generation) return;
      char name[32];
      std::snprintf(name, sizeof name, "device %d event 0x%04X", slot, eventId);
      Record(name);
      d->Queue(0x83, EventTransfer(eventId));
      DeliverLocked(*d, 0x83, &done);
    }
    for (auto& f : done) f();
  });
}

}  // namespace bench
