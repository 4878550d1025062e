#include "tessaro/device_control.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>

#include "tessaro/device_list.h"
#include "tessaro/errors.h"
#include "tessaro/flash_operations.h"
#include "tessaro/flash_settings.h"
#include "tessaro/gdi.h"
#include "tessaro/interpreter_load.h"
#include "tessaro/plugins.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

constexpr uint16_t kVendor = 0x0E7B;
// How long a reboot flow watches a device leave before it goes on.
constexpr int32_t kLeaveWatchMs = 5000;

void Wait(int32_t ms) { WaitLettingMessagesThrough(static_cast<DWORD>(ms < 0 ? 0 : ms)); }

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Hex4(uint16_t v) { return FormatText("%4.4X", {v}); }

std::string DeviceLine(int index, const TDeviceInfo& d) {
  return FormatText("  - device[%d] (vid:0x%4.4X,pid:0x%4.4X,prod.:\"%s\",man.:\"%s\",s.n.:\"%s\"",
                    {index, d.VID, d.PID, d.Product, d.Manufacturer, d.SerialNumber});
}

std::string IdentityLine(const DeviceIdentity& i) {
  return FormatText("vid:0x%4.4X,pid:0x%4.4X,prod.:\"%s\",man.:\"%s\",s.n.:\"%s\"",
                    {i.vid, i.pid, i.product, i.manufacturer, i.serial});
}

void SetBar(const ControlView& view, int maximum, int position) {
  if (!view.bar) return;
  if (maximum >= 0) view.bar->SetMaximum(maximum);
  view.bar->SetPosition(position);
}

bool TakesSerial(const TDeviceInfo& d, const DeviceIdentity& wanted, const FindOptions& o) {
  if (!o.serial) return true;
  if (o.safe) return SerialSaysSafe(d.SerialNumber);
  return wanted.serial == d.SerialNumber;
}

HTREEITEM AddTreeItem(HWND tree, HTREEITEM parent, const std::string& text, int image,
                      int selected) {
  TVINSERTSTRUCTA item{};
  item.hParent = parent;
  item.hInsertAfter = TVI_LAST;
  item.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  item.item.pszText = const_cast<char*>(text.c_str());
  item.item.iImage = image;
  item.item.iSelectedImage = selected;
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void AddDeviceItems(HWND tree, HTREEITEM parent, const std::string& root, const DeviceIdentity& d) {
  HTREEITEM top = AddTreeItem(tree, parent, root, 0, 2);
  AddTreeItem(tree, top, "VID=0x" + Hex4(d.vid), 1, 1);
  AddTreeItem(tree, top, "PID=0x" + Hex4(d.pid), 1, 1);
  AddTreeItem(tree, top, "Manufacturer=" + d.manufacturer, 1, 1);
  AddTreeItem(tree, top, "Product Name=" + d.product, 1, 1);
  AddTreeItem(tree, top, "Serial Number=" + d.serial, 1, 1);
  SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top));
}

void ClearTree(HWND tree) {
  if (tree) SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

// The reboot command of the flows: its error (none is expected) is normal.
void RebootCommand(TDevice* device, TLineList* log) {
  try {
    RestartByMarker(device, false, LogList{log}, TransferList{});
  } catch (const std::exception&) {
    LogCtrl(log, " Except on restart, it is normal!");
  }
  Wait(500);
}

// Watches the device with this identity (serial compared) leave the bus,
// at most `limitMs`; true when it left.
bool WatchLeave(const DeviceIdentity& who, int32_t limitMs) {
  for (int32_t waited = 0;; waited += ControlSettings().PollTime) {
    if (!IsDevicePresent(who.vid, who.pid, who.serial, true)) return true;
    if (waited >= limitMs) return false;
    Wait(ControlSettings().PollTime);
  }
}

bool IsSupply(const TDeviceInfo& d) { return d.VID == kVendor && (d.PID == 9 || d.PID == 16); }

bool SupplyVersionSupported(TDevice* supply, TLineList* log, const char* indent) {
  FirmwareVersion v;
  bool read = false;
  try {
    read = ReadFirmwareVersion(supply, v, false, LogList{}, TransferList{});
  } catch (const std::exception&) {
    read = false;
  }
  bool supported = read && (v.major > 0 || v.minor >= 7);
  LogCtrl(log,
          std::string(indent) +
              "%s, FW version (v%d.%d) of PS %s support the function (0.7 =< Sup.Ver.)",
          {supported ? "OK" : "Error", v.major, v.minor, supported ? "" : " not"});
  return supported;
}

// Waits until the module is back (its firmware serial number compared), in
// rounds of 100 ms, at most 1800; the last log line counts the rounds.
bool WaitForModuleBack(const DeviceIdentity& wanted, Connection& connection,
                       const ControlView& view) {
  LogCtrl(view.log,
          "  the device is disconnect (%s), I will wait for connecting the device after reboot ...",
          {IdentityToText(wanted, true)});
  LogCtrl(view.log, "   wait on end of reboot %d00 ms", {0});
  int64_t number = FirmwareSerialNumber(wanted.serial);
  for (int round = 0; round < 1800; ++round) {
    TDeviceList list;
    for (int i = 0; i < list.Count(); ++i) {
      TDeviceInfo* d = list.GetDevice(i);
      if (d->VID != wanted.vid || !PidMatches(d->PID, wanted.pid)) continue;
      // Another instrument of the same type is not the module coming back.
      if (number >= 0 && FirmwareSerialNumber(d->SerialNumber) != number) continue;
      try {
        connection = CreateDeviceConnection(*d, 0);
      } catch (const std::exception&) {
        continue;
      }
      LogCtrl(view.log, "  the device is connected again (%s)",
              {ADevToStr(connection.get(), true)});
      SetBar(view, -1, 0);
      return true;
    }
    Wait(100);
    SetBar(view, -1, 1801 + round);
    if (view.log && view.log->Count() > 0)
      view.log->SetLine(view.log->Count() - 1,
                        FormatText("   waiting on end of reboot %d00 ms", {round + 1}));
    ProcessMessages();
  }
  return false;
}

// The end of both power-supply reboots: the log line and the supply's
// connection. The supply is found again by its serial number: the bus may
// list its devices in another order after the reboot, and its old device
// number can name another device.
bool FinishSupplyReboot(bool back, const TDeviceInfo& supplyInfo, const ControlView& view,
                        Connection& supply) {
  LogCtrl(view.log, "  %s, Reboot via PowerSupply", {back ? "OK" : "ERROR"});
  supply.reset();
  if (back) FindDevice(IdentityOf(supplyInfo), {.create = true}, view, &supply, nullptr);
  return back;
}

TDeviceInfo Copy(const TDeviceInfo& d) {
  TDeviceInfo c(d.DeviceNumber, d.VID, d.PID);
  c.Product = KeepText(d.Product);
  c.Manufacturer = KeepText(d.Manufacturer);
  c.SerialNumber = KeepText(d.SerialNumber);
  return c;
}

}  // namespace

DeviceControlSettings& ControlSettings() { return CurrentLoad().control; }
void SetPsPidAlias(bool on) { ControlSettings().PsPidAlias = on; }
void ResetControlSettings() { ControlSettings() = DeviceControlSettings(); }

int ControlView::Ask(const std::string& text, UINT type) const {
  if (ask) return ask(text, type);
  return MessageBoxA(GetActiveWindow(), text.c_str(), "Tessaro", type);
}

bool PidMatches(uint16_t found, uint16_t wanted) {
  if (!ControlSettings().PsPidAlias) return found == wanted;
  bool foundPs = found == 9 || found == 16, wantedPs = wanted == 9 || wanted == 16;
  if (foundPs && wantedPs) return true;
  return !wantedPs && found == wanted;
}

Connection CreateDeviceConnection(const TDeviceInfo& info, int kind) {
  switch (kind) {
    case 0:
      return std::make_unique<TGDI>(info, 0, 0, 0, 0, 0, 0);
    case 1:
      return std::make_unique<TGDI>(info, 1, 0, 0, 1, 0, 0);
    case 2:
      return std::make_unique<TGDI>(info, 1, 1, 0, 1, 0, 0);
    default:
      return nullptr;
  }
}

std::string ADevToStr(const TDevice* c, bool withSerial) {
  try {
    if (!c) return "nil";
    std::string serial =
        withSerial && c->SerialNumber ? FormatText(", s.n.:\"%s\"", {c->SerialNumber}) : "";
    return FormatText("device: vid:0x%4.4x, pid:0x%4.4x%s", {c->VID, c->PID, serial});
  } catch (...) {
    return "exception in function ADevToStr";
  }
}

std::string IdentityToText(const DeviceIdentity& i, bool withSerial) {
  std::string serial = withSerial ? FormatText(", s.n.:\"%s\"", {i.serial}) : "";
  return FormatText("device: vid:0x%4.4x, pid:0x%4.4x%s", {i.vid, i.pid, serial});
}

DeviceIdentity IdentityOf(const TDeviceInfo& d) {
  return {d.VID, d.PID, d.Product ? d.Product : "", d.Manufacturer ? d.Manufacturer : "",
          d.SerialNumber ? d.SerialNumber : ""};
}

bool SerialSaysSafe(const std::string& serial) {
  size_t at = Lower(serial).find("safe");
  return at != std::string::npos && at >= 1;
}

std::string FirmwareSerialText(const std::string& serial) {
  std::string s = serial;
  size_t at = Lower(serial).find("safe");
  if (at != std::string::npos) s.erase(at, 4);
  return s;
}

int64_t FirmwareSerialNumber(const std::string& serial) {
  std::string s = FirmwareSerialText(serial);
  int64_t value = 0;
  bool any = false;
  for (char c : s) {
    if (c == ' ') continue;
    if (c < '0' || c > '9' || value > 0xFFFFFFFFll) return -1;
    value = value * 10 + (c - '0');
    any = true;
  }
  return any ? value : -1;
}

void ShowIdentityInTree(const std::string& caption, const DeviceIdentity& identity, HWND tree) {
  if (!tree) return;
  ClearTree(tree);
  AddDeviceItems(tree, TVI_ROOT, FormatText("%s \"%s\"", {caption, identity.product}), identity);
}

void RefreshDeviceTree(HWND tree) {
  if (!tree) return;
  ClearTree(tree);
  TDeviceList list;
  std::string root =
      FormatText("DeviceList (%s): %d devices", {DateTimeText(LocalNow()), list.Count()});
  HTREEITEM top = AddTreeItem(tree, TVI_ROOT, root, 6, 4);
  for (int i = 0; i < list.Count(); ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    AddDeviceItems(tree, top, FormatText("dev no.%d \"%s\"", {i, d->Product}), IdentityOf(*d));
  }
  if (list.Count() > 0) SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top));
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(top));
}

bool IsDevicePresent(uint16_t vid, uint16_t pid, const std::string& serial, bool serialMustMatch) {
  TDeviceList list;
  for (int i = 0; i < list.Count(); ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    if (d->VID == vid && PidMatches(d->PID, pid) && (!serialMustMatch || serial == d->SerialNumber))
      return true;
  }
  return false;
}

bool CheckDeviceUnique(uint16_t vid, uint16_t pid, TLineList* log) {
  TDeviceList list;
  if (list.Count() == 0) {
    LogCtrl(log, "Error, device list is empty.");
    return false;
  }
  int n = 0;
  for (int i = 0; i < list.Count(); ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    if (d->VID == vid && PidMatches(d->PID, pid)) ++n;
  }
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
  if (view.tree && o.show) ClearTree(view.tree);
  if (connection) connection->reset();
  TDeviceList list;
  for (int i = 0; i < list.Count(); ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    if (d->VID != wanted.vid || !PidMatches(d->PID, wanted.pid) || !TakesSerial(*d, wanted, o))
      continue;
    DeviceIdentity identity = IdentityOf(*d);
    if (found) *found = identity;
    if (o.create && connection) {
      try {
        *connection = CreateDeviceConnection(*d, 0);
      } catch (const std::exception&) {
        return false;
      }
    }
    Wait(o.settleMs);
    if (o.show) ShowIdentityInTree(FormatText("dev no.%d", {i}), identity, view.tree);
    return true;
  }
  return false;
}

bool ReopenByIdentity(Connection& connection, const ControlView& view, int32_t settleMs) {
  DeviceIdentity identity = connection ? IdentityOf(*connection) : DeviceIdentity{};
  connection.reset();
  return FindDevice(identity, {.serial = false, .settleMs = settleMs, .show = true, .create = true},
                    view, &connection, nullptr);
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
    RefreshDeviceTree(view.tree);
    TDeviceList list;
    LogCtrl(view.log,
            "  sleep %dms & update device list & found devices: %d (%dx,%dms) (ESC Storno)",
            {periodMs, list.Count(), i, i * periodMs});
    bool matching = false;
    for (int k = 0; k < list.Count(); ++k) {
      TDeviceInfo* d = list.GetDevice(k);
      bool same = d->VID == id.vid && PidMatches(d->PID, id.pid) && id.product == d->Product &&
                  id.manufacturer == d->Manufacturer && id.serial == d->SerialNumber;
      matching = matching || same;
      LogCtrl(view.log, "%s%s", {DeviceLine(k, *d), same ? " [device what must be unplug]" : ""});
    }
    Wait(periodMs);
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

bool SearchDevice(const DeviceIdentity& id, int32_t periodMs, int endPercent, int startPercent,
                  int32_t limitMs, const ControlView& view, int32_t* elapsedOut) {
  SetStopRequested(false);
  ShowIdentityInTree("search device", id, view.tree);
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
      Wait(periodMs);
      elapsed += periodMs;
      if (elapsedOut) *elapsedOut = elapsed;
      TDeviceList list;
      if (view.bar) {
        double share = double(elapsed) / divisor * (endPercent - startPercent) + startPercent;
        view.bar->SetPosition(static_cast<int>(view.bar->Maximum() * share / 100 + 0.5));
      }
      std::string round =
          FormatText(" sleep %dms & update device list & found devices: %d (RebootTime:%dms)",
                     {periodMs, list.Count(), elapsed});
      // The round line replaces the last round's, and its device lines go.
      TLineList* log = view.log;
      if (log) {
        int last = log->Count() - 1 - lastDeviceLines;
        if (lastDeviceLines >= 0 && last >= 0 && log->Line(last).rfind(" sleep", 0) == 0) {
          for (int k = 0; k < lastDeviceLines; ++k) log->DeleteLast();
          log->SetLine(last, round);
        } else {
          log->Add(round);
        }
      }
      // The device lines go through the log (the files get them too); the
      // next round replaces as many lines as this one added.
      int before = log ? log->Count() : 0;
      bool hit = false;
      for (int k = 0; k < list.Count() && !hit; ++k) {
        TDeviceInfo* d = list.GetDevice(k);
        LogCtrl(log, "%s", {DeviceLine(k, *d)});
        hit = d->VID == id.vid && PidMatches(d->PID, id.pid);
      }
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

bool RebootTest(const DeviceIdentity& identity, DeviceIdentity& safe, DeviceIdentity& firmware,
                int32_t settleMs, const ControlView& view) {
  DeviceControlSettings& s = ControlSettings();
  Connection test;
  auto found = [&](const DeviceIdentity& i, bool ok) {
    LogCtrl(view.log, "%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
            {ok ? "OK" : "ERROR", i.vid, i.pid, i.serial, ok ? "is" : "isn't"});
  };
  bool result = false;
  try {
    LogCtrl(view.log, "========== TEST REBOOT SECTION ==========");
    SetBar(view, 10000, 0);
    s.ToSafeRebootTime = s.ToFirmwareRebootTime = 180000;
    DeviceIdentity start = identity;
    bool ok = FindDevice(identity, {.settleMs = s.PollTime, .show = true, .create = true}, view,
                         &test, &start);
    SetBar(view, -1, 1000);
    found(identity, ok);
    if (!ok) return false;
    SetMarker(test.get(), false, LogList{view.log}, TransferList{});
    Wait(s.PollTime);
    RebootCommand(test.get(), view.log);
    test.reset();
    SetBar(view, -1, 2000);
    ClearTree(view.tree);
    Wait(settleMs);
    int32_t elapsed = 0;
    if (!SearchDevice(identity, s.PollTime, 30, 20, s.MaxSearchTime, view, &elapsed)) return false;
    s.ToSafeRebootTime = 2 * std::max<int32_t>(elapsed, 5000);
    LogCtrl(view.log, "  Set ToSafeRebootTime to %dms.", {s.ToSafeRebootTime});
    if (!WaitForUnplug(start, 500, s.MaxSearchTime, view)) return false;
    SetBar(view, -1, 4000);
    bool inSafe = false;
    for (int32_t left = 5000; left >= 1 && !inSafe; left -= s.PollTime) {
      inSafe = FindDevice(identity, {.safe = true, .create = true}, view, &test, &safe);
      if (!inSafe) {
        Wait(s.PollTime);
        SetBar(view, -1, view.bar ? view.bar->Position() + 1000 * s.PollTime / 5000 : 0);
      }
    }
    LogCtrl(view.log, "%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.: ...\"Safe\"... there %s.",
            {inSafe ? "OK" : "ERROR", identity.vid, identity.pid, inSafe ? "is" : "isn't"});
    if (!inSafe) return false;
    SetBar(view, -1, 5000);
    ClearMarker(test.get(), false, LogList{view.log}, TransferList{});
    Wait(s.PollTime);
    RebootCommand(test.get(), view.log);
    test.reset();
    // The safe device must have left before the search, or it would be
    // taken for the firmware coming back.
    WatchLeave(safe, kLeaveWatchMs);
    elapsed = 0;
    if (!SearchDevice(identity, s.PollTime, 95, 55, s.MaxSearchTime, view, &elapsed)) return false;
    s.ToFirmwareRebootTime = 2 * std::max<int32_t>(elapsed, 5000);
    LogCtrl(view.log, "  Set ToFirmwareRebootTime to %dms.", {s.ToFirmwareRebootTime});
    SetBar(view, -1, 10000);
    ok = FindDevice(identity, {.create = true}, view, &test, &firmware);
    found(identity, ok);
    if (!ok) return false;
    test.reset();
    SetBar(view, -1, 10000);
    LogCtrl(view.log, "OK, RebootTest.");
    result = true;
  } catch (const std::exception& e) {
    LogCtrl(view.log, "Exception:\"%s\", RebootTest.", {e.what()});
  }
  return result;
}

bool RebootToMode(const DeviceIdentity& before, const DeviceIdentity& after, bool toSafe,
                  int32_t settleMs, const ControlView& view, Connection& connection) {
  DeviceControlSettings& s = ControlSettings();
  auto logFound = [&](const DeviceIdentity& i, bool ok) {
    LogCtrl(view.log, "%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
            {ok ? "OK" : "ERROR", i.vid, i.pid, i.serial, ok ? "is" : "isn't"});
  };
  LogCtrl(view.log, "========== REBOOT SECTION ==========");
  SetBar(view, 10000, 0);
  connection.reset();
  bool ok = FindDevice(before, {.settleMs = s.PollTime, .show = true, .create = true}, view,
                       &connection, nullptr);
  logFound(before, ok);
  if (!ok) {
    connection.reset();
    return false;
  }
  Wait(s.PollTime);
  RebootCommand(connection.get(), view.log);
  connection.reset();
  // The old device must have left before the search, or it would be taken
  // for the one that comes back.
  int32_t settle = settleMs;
  for (int32_t waited = 0; waited < std::max(settle, kLeaveWatchMs); waited += s.PollTime) {
    if (!IsDevicePresent(before.vid, before.pid, before.serial, true)) break;
    Wait(s.PollTime);
    settle -= s.PollTime;
  }
  Wait(settle);
  ClearTree(view.tree);
  int32_t limit = toSafe ? s.ToSafeRebootTime : s.ToFirmwareRebootTime;
  if (limit < 1) limit = s.MaxSearchTime;  // a reboot test that stopped part-way
  if (!SearchDevice(after, s.PollTime, 95, 5, limit, view)) return false;
  ok = FindDevice(after, {.create = true}, view, &connection, nullptr);
  logFound(after, ok);
  if (!ok) {
    connection.reset();
    return false;
  }
  SetBar(view, -1, view.bar ? view.bar->Maximum() : 0);
  LogCtrl(view.log, "OK, Reboot from to.");
  return true;
}

bool RebootDevice(const DeviceIdentity& identity, Connection& connection, const ControlView& view,
                  bool serial) {
  DeviceControlSettings& s = ControlSettings();
  try {
    LogCtrl(view.log, "========== REBOOT SECTION ==========");
    SetBar(view, 10000, 0);
    connection.reset();
    bool ok = FindDevice(identity, {.settleMs = s.PollTime, .show = true, .create = true}, view,
                         &connection, nullptr);
    LogCtrl(
        view.log, "%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
        {ok ? "OK" : "ERROR", identity.vid, identity.pid, identity.serial, ok ? "is" : "isn't"});
    if (!ok) return false;
    Wait(s.PollTime);
    bool rebooted = RebootRequest(connection.get(), view.log, [&] {
      return IsDevicePresent(identity.vid, identity.pid, identity.serial, true);
    });
    connection.reset();
    if (!rebooted) {
      LogCtrl(view.log,
              "ERROR, device don't reboot, is possible that device in the mode don't support "
              "command for reboot...");
      return false;
    }
    ClearTree(view.tree);
    int32_t limit = s.ToFirmwareRebootTime < 1 ? s.MaxSearchTime : s.ToFirmwareRebootTime;
    if (!SearchDevice(identity, s.PollTime, 95, 5, limit, view)) return false;
    ok = FindDevice(identity, {.serial = serial, .create = true}, view, &connection, nullptr);
    LogCtrl(
        view.log, "%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
        {ok ? "OK" : "ERROR", identity.vid, identity.pid, identity.serial, ok ? "is" : "isn't"});
    if (!ok) {
      connection.reset();
      return false;
    }
    SetBar(view, -1, 10000);
    LogCtrl(view.log, "OK, Device Reboot.");
    return true;
  } catch (const std::exception&) {
    LogCtrl(view.log, "Exception, Device Reboot.");
    return false;
  }
}

bool IntelligentRebootViaPs(const DeviceIdentity& identity, bool required, Connection& connection,
                            const ControlView& view, Connection& supply) {
  LogCtrl(view.log, "--------- rebooting a Device via its PowerSupply -------------");
  SetBar(view, 3600, 0);
  LogCtrl(view.log, "  try, find a %s", {IdentityToText(identity, true)});
  DeviceIdentity me = identity;
  bool mine = FindDevice(identity, {.serial = false, .settleMs = 100, .create = true}, view,
                         &connection, &me);
  LogCtrl(view.log, "  %s, my device (%s) is%s in list",
          {mine ? "OK" : "ERROR", IdentityToText(identity, true), mine ? "" : " not"});
  if (required && !mine) return false;
  connection.reset();
  int64_t wantedNumber = FirmwareSerialNumber(identity.serial);
  TDeviceList list;
  Connection candidate;
  const TDeviceInfo* chosen = nullptr;
  for (int i = 0; i < list.Count() && !chosen; ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    if (!IsSupply(*d)) continue;
    try {
      candidate = CreateDeviceConnection(*d, 0);
    } catch (const std::exception&) {
      continue;
    }
    LogCtrl(view.log, "   ok, find a power supply %s", {ADevToStr(candidate.get(), true)});
    if (!SupplyVersionSupported(candidate.get(), view.log, "   ")) continue;
    int32_t serial = -1;
    bool found = FindModuleSerial(identity.vid, identity.pid, candidate.get(), view.log,
                                  TransferList{}, serial);
    LogCtrl(view.log, "   %s, was %s found in Baugr.Data serial number for Device: %s.",
            {found ? "OK" : "Error", found ? "" : "not",
             found ? FormatText("%d", {serial}) : std::string("nil")});
    // The firmware's serial number, also for a wanted serial read in safe mode.
    bool same = found && wantedNumber >= 0 && static_cast<uint32_t>(serial) == wantedNumber;
    LogCtrl(view.log, "   (sn.: ?Dev \"%s\" %s \"%s\" FromPS) => it is%s my device.",
            {identity.serial, same ? "=" : "<>", FormatText("%d", {serial}), same ? "" : "n't"});
    if (same) chosen = d;
  }
  if (!chosen) {
    LogCtrl(view.log, "  ERROR, found device via PowerSupply");
    return false;
  }
  LogCtrl(view.log, "  OK, found device via PowerSupply");
  TDeviceInfo supplyInfo = Copy(*chosen);
  supply = std::move(candidate);
  ClearMarker(supply.get(), false, LogList{view.log}, TransferList{});
  RebootCommand(supply.get(), view.log);
  supply.reset();
  Wait(100);
  // The module leaves with its supply; watched, not looked at once.
  if (!WatchLeave(identity, kLeaveWatchMs)) {
    LogCtrl(view.log, "    bad, this isn't my PS, device is still plug (%s), end.",
            {IdentityToText(identity, true)});
    return FinishSupplyReboot(false, supplyInfo, view, supply);
  }
  LogCtrl(view.log, "    ok, this is REALLY my PS, device was unpluged (%s)",
          {IdentityToText(identity, true)});
  SetBar(view, -1, 1800);
  bool back = WaitForModuleBack(identity, connection, view);
  return FinishSupplyReboot(back, supplyInfo, view, supply);
}

bool RebootViaPs(const DeviceIdentity& identity, bool required, Connection& connection,
                 const ControlView& view, Connection& supply) {
  LogCtrl(view.log, "--------- Device Reboot via PowerSupply -------------");
  SetBar(view, 3600, 0);
  LogCtrl(view.log, "  try, find a %s", {IdentityToText(identity, true)});
  bool mine = FindDevice(identity, {.serial = false, .settleMs = 100, .create = true}, view,
                         &connection, nullptr);
  LogCtrl(view.log, "  %s, my device (%s) is%s in list",
          {mine ? "OK" : "ERROR", IdentityToText(identity, true), mine ? "" : " not"});
  if (required && !mine) return false;
  connection.reset();
  TDeviceList list;
  bool anySupply = false;
  TDeviceInfo supplyInfo;
  bool unplugged = false;
  for (int i = 0; i < list.Count() && !unplugged; ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    if (!IsSupply(*d)) continue;
    anySupply = true;
    Connection candidate;
    try {
      candidate = CreateDeviceConnection(*d, 0);
    } catch (const std::exception&) {
      continue;
    }
    LogCtrl(view.log, "   ok, find a power supply %s", {ADevToStr(candidate.get(), true)});
    ClearMarker(candidate.get(), false, LogList{view.log}, TransferList{});
    RebootCommand(candidate.get(), view.log);
    candidate.reset();
    Wait(100);
    if (WatchLeave(identity, kLeaveWatchMs)) {
      LogCtrl(view.log, "    ok, this is my PS, device unpluged (%s)",
              {IdentityToText(identity, true)});
      supplyInfo = Copy(*d);
      unplugged = true;
    } else {
      LogCtrl(view.log, "    bad, this isn't my PS, device is still plug (%s)",
              {IdentityToText(identity, true)});
    }
  }
  if (!anySupply) {
    int answer = view.Ask(
        "I cannot find any PowerSupply (PS), it is not possible to reboot TR410 via USB !!!\r\n"
        "You can reboot TR410 manually. To do so, push button \"YES\", and then switch TR410 off "
        "and on.\r\nApplication will be waiting 60 s for TR410 to be rebooted after \"YES\" "
        "button push.\r\nDo you want to reboot manually?",
        MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES) {
      LogCtrl(view.log,
              "  UNSUCCESS, I don't find a PowerSypply via which is possible reboot TR410, and "
              "you don't want reboot manually.");
      return false;
    }
    LogCtrl(view.log, "   wait on start of reboot %d00 ms", {0});
    for (int round = 0; round < 600 && !unplugged; ++round) {
      unplugged = !IsDevicePresent(identity.vid, identity.pid, identity.serial, true);
      if (unplugged) break;
      Wait(100);
      SetBar(view, -1, 3 * round);
      if (view.log && view.log->Count() > 0)
        view.log->SetLine(view.log->Count() - 1,
                          FormatText("   wait on start of reboot %d00 ms", {round + 1}));
    }
    if (!unplugged) {
      LogCtrl(view.log, " Timeout on manually rebooting TR410");
      return false;
    }
  }
  if (!unplugged) return false;
  SetBar(view, -1, 1800);
  bool back = WaitForModuleBack(identity, connection, view);
  if (!anySupply) {
    LogCtrl(view.log, "  %s, Reboot via PowerSupply", {back ? "OK" : "ERROR"});
    return back;
  }
  return FinishSupplyReboot(back, supplyInfo, view, supply);
}

bool UserPowerCycle(const DeviceIdentity& identity, Connection& connection, const ControlView& view,
                    bool serial, bool safe, int32_t periodMs) {
  const char* text = "Please switch-off device, wait 3s, switch-on device, and press [OK]";
  LogCtrl(view.log, "%s", {text});
  view.Ask(text, MB_OK);
  ControlView noBar = view;
  noBar.bar = nullptr;
  SearchDevice(identity, periodMs, 100, 0, ControlSettings().MaxSearchTime, noBar);
  return FindDevice(
      identity,
      {.serial = serial, .safe = safe, .settleMs = periodMs, .show = true, .create = true}, view,
      &connection, nullptr);
}

bool OpenDevice(const DeviceIdentity& identity, Connection& connection, const ControlView& view) {
  LogCtrl(view.log, "========== OPEN DEVICE SECTION ==========");
  connection.reset();
  bool ok = FindDevice(identity, {.show = true, .create = true}, view, &connection, nullptr);
  LogCtrl(view.log, "OPEN DEVICE %s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
          {ok ? "OK" : "ERROR", identity.vid, identity.pid, identity.serial, ok ? "is" : "isn't"});
  return ok;
}

bool CloseDevice(Connection& connection, const ControlView& view) {
  bool ok = true;
  try {
    connection.reset();
  } catch (...) {
    ok = false;
  }
  ClearTree(view.tree);
  LogCtrl(view.log, "%s, Close device.", {ok ? "OK" : "ERROR"});
  return ok;
}

namespace {

bool Reopen(Connection& connection, TLineList* log, int kind) {
  try {
    if (!connection) throw TessaroError("no device is open");
    TDeviceInfo info = Copy(*connection);
    // Left empty if the new one cannot be made: nothing is freed twice.
    connection.reset();
    connection = CreateDeviceConnection(info, kind);
    if (kind == 1)
      LogCtrl(log, "  %s, Reopen device with Irpt channel 0x83 (%s)",
              {"OK", ADevToStr(connection.get(), true)});
    else
      LogCtrl(log, "  %s, Reopen device without channels", {"OK"});
    return true;
  } catch (const std::exception& e) {
    connection.reset();
    throw TessaroError(
        FormatText("Exception \"%s\",\r\n is possible that isn't open device...", {e.what()}));
  }
}

}  // namespace

bool ReopenWithEventChannel(Connection& connection, TLineList* log) {
  return Reopen(connection, log, 1);
}

bool ReopenWithoutChannels(Connection& connection, TLineList* log) {
  return Reopen(connection, log, 0);
}

}  // namespace tessaro
