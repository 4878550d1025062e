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

bool CheckDeviceUnique(uint16_t vid, uint16_t pid, TLineList* log) {
  TDeviceList list;
  if (list.Count() == 0) {
    LogCtrl(log, "Error, device list is empty.");
    return false;
  }
  int n = 0;
  SearchBus(list, [&](int, const TDeviceInfo& d) {
    if (IsOfType(d, vid, pid)) ++n;
    return false;
  });
  if (n == 0)
    LogCtrl(log, "Error, device with vid:0x%4.4X,pid:0x%4.4X there isn't", {vid, pid});
  else if (n > 1)
    LogCtrl(log, "Error, device with vid:0x%4.4X,pid:0x%4.4X there is manytimes (%dx)",
            {vid, pid, n});
  else
    LogCtrl(log, "OK, device with vid:0x%4.4X,pid:0x%4.4X is onetimes", {vid, pid});
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
  LogCtrl(view.log, " Waiting on unplug device ....");
  LogCtrl(view.log, "  waiting on unplug device (%s", {IdentityLine(id)});
  SetStopRequested(false);
  if (periodMs < 1) periodMs = 1;
  bool gone = false;
  // The limit is a time: the rounds end once they have taken it.
  for (int i = 0; int64_t{i} * periodMs <= limitMs; ++i) {
    ProcessMessages();
    if (IsStopRequested()) {
      LogCtrl(view.log, " Action (wait on unplug) was Storno by user !!!");
      break;
    }
    view.BusShown();
    TDeviceList list;
    LogCtrl(view.log,
            "  sleep %dms & update device list & found devices: %d (%dx,%dms) (ESC Storno)",
            {periodMs, list.Count(), i, i * periodMs});
    bool matching = false;
    SearchBus(list, [&](int k, const TDeviceInfo& d) {
      bool same = IsOfType(d, id.vid, id.pid) && id.product == d.Product &&
                  id.manufacturer == d.Manufacturer && id.serial == d.SerialNumber;
      matching = matching || same;
      LogCtrl(view.log, "%s%s", {DeviceLine(k, d), same ? " [device what must be unplug]" : ""});
      return false;
    });
    ControlWait(periodMs);
    if (!matching) {
      gone = true;
      break;
    }
  }
  if (gone)
    LogCtrl(view.log, "  OK, device (%s) was unplug", {IdentityLine(id)});
  else
    LogCtrl(view.log, "ERROR wait, will open same device");
  return gone;
}

namespace {

// One round's line replaces the last round's, and that round's device lines go.
void ReplaceRoundLine(TLineList* log, const std::string& round, int lastDeviceLines) {
  if (!log) return;
  int last = log->Count() - 1 - lastDeviceLines;
  if (lastDeviceLines >= 0 && last >= 0 && log->Line(last).rfind(" sleep", 0) == 0) {
    for (int k = 0; k < lastDeviceLines; ++k) log->DeleteLast();
    log->SetLine(last, round);
  } else {
    log->Add(round);
  }
}

}  // namespace

bool SearchDevice(const DeviceIdentity& id, int32_t periodMs, int endPercent, int startPercent,
                  int32_t limitMs, const ControlView& view, int32_t* elapsedOut) {
  SetStopRequested(false);
  view.DeviceShown("search device", id);
  if (periodMs < 1) periodMs = 1;
  int32_t divisor = limitMs < 1 ? 1 : limitMs;
  int32_t elapsed = 0;
  int lastDeviceLines = -1;
  LogCtrl(view.log, " will find device (vid:0x%4.4X,pid:0x%4.4X), max.time:%dms",
          {id.vid, id.pid, limitMs});
  try {
    while (elapsed <= limitMs) {
      ProcessMessages();
      if (IsStopRequested()) {
        LogCtrl(view.log, " Action was canceled by user");
        return false;
      }
      ControlWait(periodMs);
      elapsed += periodMs;
      if (elapsedOut) *elapsedOut = elapsed;
      TDeviceList list;
      if (view.bar) {
        double share = double(elapsed) / divisor * (endPercent - startPercent) + startPercent;
        view.bar->SetPosition(static_cast<int>(view.bar->Maximum() * share / 100 + 0.5));
      }
      TLineList* log = view.log;
      ReplaceRoundLine(log,
                       FormatText(" sleep %dms & update device list & found devices: %d "
                                  "(RebootTime:%dms)",
                                  {periodMs, list.Count(), elapsed}),
                       lastDeviceLines);
      // The device lines go through the log (the files get them too); the
      // next round replaces as many lines as this one added.
      int before = log ? log->Count() : 0;
      bool hit = SearchBus(list, [&](int k, const TDeviceInfo& d) {
                   LogCtrl(log, "%s", {DeviceLine(k, d)});
                   return IsOfType(d, id.vid, id.pid);
                 }) >= 0;
      lastDeviceLines = log ? log->Count() - before : 0;
      if (hit) return true;
    }
    LogCtrl(view.log, "ERROR found (time:%dms)", {elapsed});
    return false;
  } catch (const std::exception& e) {
    LogCtrl(view.log, " except on reboot device (%s)(time:%d)", {e.what(), elapsed});
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
