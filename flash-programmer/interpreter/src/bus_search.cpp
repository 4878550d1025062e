// The searches of the bus: each flow's look at the listed devices goes
// through SearchBus.
#include "control_internal.h"
#include "lumetra/device_protocol.h"
#include "tessaro/flash_settings.h"
#include "tessaro/plugins.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

bool TakesSerial(const TDeviceInfo& d, const DeviceIdentity& wanted, const FindOptions& o) {
  if (!o.serial) return true;
  if (o.safe) return SerialSaysSafe(d.SerialNumber);
  return wanted.serial == d.SerialNumber;
}

}  // namespace

int SearchBus(TDeviceList& list, const BusTest& takes, int from) {
  for (int i = from < 0 ? 0 : from; i < list.Count(); ++i)
    if (takes(i, *list.GetDevice(i))) return i;
  return -1;
}

bool PidMatches(uint16_t found, uint16_t wanted) {
  if (!ControlSettings().PsPidAlias) return found == wanted;
  bool foundPs = lm::IsPowerSupply(found), wantedPs = lm::IsPowerSupply(wanted);
  if (foundPs && wantedPs) return true;
  return !wantedPs && found == wanted;
}

bool IsOfType(const TDeviceInfo& d, uint16_t vid, uint16_t pid) {
  return d.VID == vid && PidMatches(d.PID, pid);
}

bool IsSupply(const TDeviceInfo& d) {
  return d.VID == lm::kVandrelVendorId && lm::IsPowerSupply(d.PID);
}

bool IsDevicePresent(uint16_t vid, uint16_t pid, const std::string& serial, bool serialMustMatch) {
  TDeviceList list;
  return SearchBus(list, [&](int, const TDeviceInfo& d) {
           return IsOfType(d, vid, pid) && (!serialMustMatch || serial == d.SerialNumber);
         }) >= 0;
}

bool CheckDeviceUnique(uint16_t vid, uint16_t pid, const ControlView& view) {
  TDeviceList list;
  if (list.Count() == 0) {
    view.Log("Error, device list is empty.");
    return false;
  }
  int n = 0;
  SearchBus(list, [&](int, const TDeviceInfo& d) {
    if (IsOfType(d, vid, pid)) ++n;
    return false;
  });
  if (n == 0)
    view.Log("Error, device with vid:0x%4.4X,pid:0x%4.4X there isn't", {vid, pid});
  else if (n > 1)
    view.Log("Error, device with vid:0x%4.4X,pid:0x%4.4X there is manytimes (%dx)", {vid, pid, n});
  else
    view.Log("OK, device with vid:0x%4.4X,pid:0x%4.4X is onetimes", {vid, pid});
  return n == 1;
}

bool FindDevice(const DeviceIdentity& wanted, const FindOptions& o, const ControlView& view,
                Connection* connection, DeviceIdentity* found) {
  if (o.show) view.DevicesCleared();
  if (connection) connection->reset();
  TDeviceList list;
  int i = SearchBus(list, [&](int, const TDeviceInfo& d) {
    return IsOfType(d, wanted.vid, wanted.pid) && TakesSerial(d, wanted, o);
  });
  if (i < 0) return false;
  const TDeviceInfo& d = *list.GetDevice(i);
  DeviceIdentity identity = IdentityOf(d);
  if (found) *found = identity;
  if (o.create && connection) {
    try {
      *connection = CreateDeviceConnection(d, 0);
    } catch (const std::exception&) {
      return false;
    }
  }
  ControlWait(o.settleMs);
  if (o.show) view.DeviceShown(FormatText("dev no.%d", {i}), identity);
  return true;
}

bool WaitForUnplug(const DeviceIdentity& id, int32_t periodMs, int32_t limitMs,
                   const ControlView& view) {
  view.Log(" Waiting on unplug device ....");
  view.Log("  waiting on unplug device (%s", {IdentityLine(id)});
  SetStopRequested(false);
  if (periodMs < 1) periodMs = 1;
  bool gone = false;
  // The limit is a time: the rounds end once they have taken it.
  for (int i = 0; int64_t{i} * periodMs <= limitMs; ++i) {
    ProcessMessages();
    if (IsStopRequested()) {
      view.Log(" Action (wait on unplug) was Storno by user !!!");
      break;
    }
    view.BusShown();
    TDeviceList list;
    view.Log("  sleep %dms & update device list & found devices: %d (%dx,%dms) (ESC Storno)",
             {periodMs, list.Count(), i, i * periodMs});
    bool matching = false;
    SearchBus(list, [&](int k, const TDeviceInfo& d) {
      bool same = IsOfType(d, id.vid, id.pid) && id.product == d.Product &&
                  id.manufacturer == d.Manufacturer && id.serial == d.SerialNumber;
      matching = matching || same;
      view.Log("%s%s", {DeviceLine(k, d), same ? " [device what must be unplug]" : ""});
      return false;
    });
    ControlWait(periodMs);
    if (!matching) {
      gone = true;
      break;
    }
  }
  if (gone)
    view.Log("  OK, device (%s) was unplug", {IdentityLine(id)});
  else
    view.Log("ERROR wait, will open same device");
  return gone;
}

bool SearchDevice(const DeviceIdentity& id, int32_t periodMs, int endPercent, int startPercent,
                  int32_t limitMs, const ControlView& view, int32_t* elapsedOut) {
  SetStopRequested(false);
  view.DeviceShown("search device", id);
  if (periodMs < 1) periodMs = 1;
  int32_t divisor = limitMs < 1 ? 1 : limitMs;
  int32_t elapsed = 0;
  int lastDeviceLines = -1;
  view.Log(" will find device (vid:0x%4.4X,pid:0x%4.4X), max.time:%dms", {id.vid, id.pid, limitMs});
  try {
    while (elapsed <= limitMs) {
      ProcessMessages();
      if (IsStopRequested()) {
        view.Log(" Action was canceled by user");
        return false;
      }
      ControlWait(periodMs);
      elapsed += periodMs;
      if (elapsedOut) *elapsedOut = elapsed;
      TDeviceList list;
      double share = double(elapsed) / divisor * (endPercent - startPercent) + startPercent;
      view.Progress(static_cast<int>(view.ProgressMaximum() * share / 100 + 0.5));
      // One round's line replaces the last round's with the device lines
      // that round showed; the device lines go to the files too.
      std::string round =
          FormatText(" sleep %dms & update device list & found devices: %d (RebootTime:%dms)",
                     {periodMs, list.Count(), elapsed});
      if (lastDeviceLines < 0)
        view.Show(round);
      else
        view.ReplaceLast(round, lastDeviceLines + 1);
      lastDeviceLines = 0;
      bool hit = SearchBus(list, [&](int k, const TDeviceInfo& d) {
                   if (view.Log("%s", {DeviceLine(k, d)})) ++lastDeviceLines;
                   return IsOfType(d, id.vid, id.pid);
                 }) >= 0;
      if (hit) return true;
    }
    view.Log("ERROR found (time:%dms)", {elapsed});
    return false;
  } catch (const std::exception& e) {
    view.Log(" except on reboot device (%s)(time:%d)", {e.what(), elapsed});
    return false;
  }
}

bool WatchLeave(const DeviceIdentity& who, int32_t limitMs) {
  int32_t poll = ControlSettings().PollTime;
  for (int32_t waited = 0;; waited += poll) {
    if (!IsDevicePresent(who.vid, who.pid, who.serial, true)) return true;
    if (waited >= limitMs) return false;
    ControlWait(poll);
  }
}

}  // namespace tessaro
