// The reboot flows: a device into its safe mode and back, a module
// power-cycled through its supply or by the user. They report through the
// caller's view only (the run's events and the progress).
#include <algorithm>

#include "control_internal.h"
#include "tessaro/flash_operations.h"
#include "tessaro/flash_settings.h"
#include "tessaro/plugins.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

bool ListedSupply(int, const TDeviceInfo& device) { return IsSupply(device); }

bool SupplyVersionSupported(TDevice* supply, const ControlView& view, const char* indent) {
  FirmwareVersion v;
  bool read = false;
  try {
    read = ReadFirmwareVersion(supply, v, false, LogList{}, TransferList{});
  } catch (const std::exception&) {
    read = false;
  }
  bool supported = read && (v.major > 0 || v.minor >= 7);
  view.Log(std::string(indent) +
               "%s, FW version (v%d.%d) of PS %s support the function (0.7 =< Sup.Ver.)",
           {supported ? "OK" : "Error", v.major, v.minor, supported ? "" : " not"});
  return supported;
}

// Waits until the module is back (its firmware serial number compared), in
// rounds of 100 ms, at most 1800; the last log line counts the rounds.
bool WaitForModuleBack(const DeviceIdentity& wanted, Connection& connection,
                       const ControlView& view) {
  view.Log(
      "  the device is disconnect (%s), I will wait for connecting the device after reboot ...",
      {IdentityToText(wanted, true)});
  view.Log("   wait on end of reboot %d00 ms", {0});
  int64_t number = FirmwareSerialNumber(wanted.serial);
  for (int round = 0; round < 1800; ++round) {
    TDeviceList list;
    // Another instrument of the same type is not the module coming back.
    BusTest back = [&](int, const TDeviceInfo& d) {
      return IsOfType(d, wanted.vid, wanted.pid) &&
             (number < 0 || FirmwareSerialNumber(d.SerialNumber) == number);
    };
    for (int i = SearchBus(list, back); i >= 0; i = SearchBus(list, back, i + 1)) {
      try {
        connection = CreateDeviceConnection(*list.GetDevice(i), 0);
      } catch (const std::exception&) {
        continue;
      }
      view.Log("  the device is connected again (%s)", {ADevToStr(connection.get(), true)});
      view.Progress(0);
      return true;
    }
    ControlWait(100);
    view.Progress(1801 + round);
    view.ReplaceLast(FormatText("   waiting on end of reboot %d00 ms", {round + 1}));
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
  view.Log("  %s, Reboot via PowerSupply", {back ? "OK" : "ERROR"});
  supply.reset();
  if (back) FindDevice(IdentityOf(supplyInfo), {.create = true}, view, &supply, nullptr);
  return back;
}

// "OK, device with ... there is." or "ERROR, ... there isn't."
void LogThere(const ControlView& view, const DeviceIdentity& i, bool ok) {
  view.Log("%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
           {ok ? "OK" : "ERROR", i.vid, i.pid, i.serial, ok ? "is" : "isn't"});
}

// The reboot test's wait for the device in safe mode: up to 5000 ms, the
// display advancing between tries.
bool FindInSafeMode(const DeviceIdentity& identity, Connection& test, DeviceIdentity& safe,
                    const ControlView& view) {
  int32_t poll = ControlSettings().PollTime;
  int position = 4000;
  view.Progress(position);
  bool inSafe = false;
  for (int32_t left = 5000; left >= 1 && !inSafe; left -= poll) {
    inSafe = FindDevice(identity, {.safe = true, .create = true}, view, &test, &safe);
    if (!inSafe) {
      ControlWait(poll);
      position += 1000 * poll / 5000;
      view.Progress(position);
    }
  }
  view.Log("%s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.: ...\"Safe\"... there %s.",
           {inSafe ? "OK" : "ERROR", identity.vid, identity.pid, inSafe ? "is" : "isn't"});
  return inSafe;
}

// The start of both supply reboots: the heading, then the module looked for
// by its ids alone. False when it is required and not there.
bool LookForModule(const char* heading, const DeviceIdentity& identity, bool required,
                   Connection& connection, const ControlView& view) {
  view.Log(heading);
  view.Progress(0, 3600);
  view.Log("  try, find a %s", {IdentityToText(identity, true)});
  bool mine = FindDevice(identity, {.serial = false, .settleMs = 100, .create = true}, view,
                         &connection, nullptr);
  view.Log("  %s, my device (%s) is%s in list",
           {mine ? "OK" : "ERROR", IdentityToText(identity, true), mine ? "" : " not"});
  if (required && !mine) return false;
  connection.reset();
  return true;
}

// Reboots each listed supply in turn until the module leaves with one:
// whether it left, whether any supply was listed, and that supply.
bool RebootEverySupply(const DeviceIdentity& identity, const ControlView& view, bool& anySupply,
                       TDeviceInfo& supplyInfo) {
  TDeviceList list;
  bool unplugged = false;
  for (int i = SearchBus(list, ListedSupply); i >= 0 && !unplugged;
       i = SearchBus(list, ListedSupply, i + 1)) {
    TDeviceInfo* d = list.GetDevice(i);
    anySupply = true;
    Connection candidate;
    try {
      candidate = CreateDeviceConnection(*d, 0);
    } catch (const std::exception&) {
      continue;
    }
    view.Log("   ok, find a power supply %s", {ADevToStr(candidate.get(), true)});
    ClearMarker(candidate.get(), false, view.lines, TransferList{});
    RebootCommand(candidate.get(), view);
    candidate.reset();
    ControlWait(100);
    if (WatchLeave(identity, kLeaveWatchMs)) {
      view.Log("    ok, this is my PS, device unpluged (%s)", {IdentityToText(identity, true)});
      supplyInfo = KeptDeviceInfo(*d);
      unplugged = true;
    } else {
      view.Log("    bad, this isn't my PS, device is still plug (%s)",
               {IdentityToText(identity, true)});
    }
  }
  return unplugged;
}

// No supply listed: the user is asked to switch the module off and on, and
// given 60 s to do so. True once it left the bus.
bool ManualReboot(const DeviceIdentity& identity, const ControlView& view) {
  int answer = view.Ask(
      "I cannot find any PowerSupply (PS), it is not possible to reboot TR410 via USB !!!\r\n"
      "You can reboot TR410 manually. To do so, push button \"YES\", and then switch TR410 off "
      "and on.\r\nApplication will be waiting 60 s for TR410 to be rebooted after \"YES\" "
      "button push.\r\nDo you want to reboot manually?",
      MB_YESNO | MB_ICONWARNING);
  if (answer != IDYES) {
    view.Log(
        "  UNSUCCESS, I don't find a PowerSypply via which is possible reboot TR410, and "
        "you don't want reboot manually.");
    return false;
  }
  view.Log("   wait on start of reboot %d00 ms", {0});
  for (int round = 0; round < 600; ++round) {
    if (!IsDevicePresent(identity.vid, identity.pid, identity.serial, true)) return true;
    ControlWait(100);
    view.Progress(3 * round);
    view.ReplaceLast(FormatText("   wait on start of reboot %d00 ms", {round + 1}));
  }
  view.Log(" Timeout on manually rebooting TR410");
  return false;
}

}  // namespace

bool RebootTest(const DeviceIdentity& identity, DeviceIdentity& safe, DeviceIdentity& firmware,
                int32_t settleMs, const ControlView& view) {
  DeviceControlSettings& s = ControlSettings();
  Connection test;
  bool result = false;
  try {
    view.Log("========== TEST REBOOT SECTION ==========");
    view.Progress(0, 10000);
    s.ToSafeRebootTime = s.ToFirmwareRebootTime = 180000;
    DeviceIdentity start = identity;
    bool ok = FindDevice(identity, {.settleMs = s.PollTime, .show = true, .create = true}, view,
                         &test, &start);
    view.Progress(1000);
    LogThere(view, identity, ok);
    if (!ok) return false;
    SetMarker(test.get(), false, view.lines, TransferList{});
    ControlWait(s.PollTime);
    RebootCommand(test.get(), view);
    test.reset();
    view.Progress(2000);
    view.DevicesCleared();
    ControlWait(settleMs);
    int32_t elapsed = 0;
    if (!SearchDevice(identity, s.PollTime, 30, 20, s.MaxSearchTime, view, &elapsed)) return false;
    s.ToSafeRebootTime = 2 * std::max<int32_t>(elapsed, 5000);
    view.Log("  Set ToSafeRebootTime to %dms.", {s.ToSafeRebootTime});
    if (!WaitForUnplug(start, 500, s.MaxSearchTime, view)) return false;
    if (!FindInSafeMode(identity, test, safe, view)) return false;
    view.Progress(5000);
    ClearMarker(test.get(), false, view.lines, TransferList{});
    ControlWait(s.PollTime);
    RebootCommand(test.get(), view);
    test.reset();
    // The safe device must have left before the search, or it would be
    // taken for the firmware coming back.
    WatchLeave(safe, kLeaveWatchMs);
    elapsed = 0;
    if (!SearchDevice(identity, s.PollTime, 95, 55, s.MaxSearchTime, view, &elapsed)) return false;
    s.ToFirmwareRebootTime = 2 * std::max<int32_t>(elapsed, 5000);
    view.Log("  Set ToFirmwareRebootTime to %dms.", {s.ToFirmwareRebootTime});
    view.Progress(10000);
    ok = FindDevice(identity, {.create = true}, view, &test, &firmware);
    LogThere(view, identity, ok);
    if (!ok) return false;
    test.reset();
    view.Progress(10000);
    view.Log("OK, RebootTest.");
    result = true;
  } catch (const std::exception& e) {
    view.Log("Exception:\"%s\", RebootTest.", {e.what()});
  }
  return result;
}

bool RebootToMode(const DeviceIdentity& before, const DeviceIdentity& after, bool toSafe,
                  int32_t settleMs, const ControlView& view, Connection& connection) {
  DeviceControlSettings& s = ControlSettings();
  view.Log("========== REBOOT SECTION ==========");
  view.Progress(0, 10000);
  connection.reset();
  bool ok = FindDevice(before, {.settleMs = s.PollTime, .show = true, .create = true}, view,
                       &connection, nullptr);
  LogThere(view, before, ok);
  if (!ok) {
    connection.reset();
    return false;
  }
  ControlWait(s.PollTime);
  RebootCommand(connection.get(), view);
  connection.reset();
  // The old device must have left before the search, or it would be taken
  // for the one that comes back.
  int32_t settle = settleMs;
  for (int32_t waited = 0; waited < std::max(settle, kLeaveWatchMs); waited += s.PollTime) {
    if (!IsDevicePresent(before.vid, before.pid, before.serial, true)) break;
    ControlWait(s.PollTime);
    settle -= s.PollTime;
  }
  ControlWait(settle);
  view.DevicesCleared();
  int32_t limit = toSafe ? s.ToSafeRebootTime : s.ToFirmwareRebootTime;
  if (limit < 1) limit = s.MaxSearchTime;  // a reboot test that stopped part-way
  if (!SearchDevice(after, s.PollTime, 95, 5, limit, view)) return false;
  ok = FindDevice(after, {.create = true}, view, &connection, nullptr);
  LogThere(view, after, ok);
  if (!ok) {
    connection.reset();
    return false;
  }
  view.Progress(10000);
  view.Log("OK, Reboot from to.");
  return true;
}

bool RebootDevice(const DeviceIdentity& identity, Connection& connection, const ControlView& view,
                  bool serial) {
  DeviceControlSettings& s = ControlSettings();
  try {
    view.Log("========== REBOOT SECTION ==========");
    view.Progress(0, 10000);
    connection.reset();
    bool ok = FindDevice(identity, {.settleMs = s.PollTime, .show = true, .create = true}, view,
                         &connection, nullptr);
    LogThere(view, identity, ok);
    if (!ok) return false;
    ControlWait(s.PollTime);
    bool rebooted = RebootRequest(connection.get(), view.lines, [&] {
      return IsDevicePresent(identity.vid, identity.pid, identity.serial, true);
    });
    connection.reset();
    if (!rebooted) {
      view.Log(
          "ERROR, device don't reboot, is possible that device in the mode don't support "
          "command for reboot...");
      return false;
    }
    view.DevicesCleared();
    int32_t limit = s.ToFirmwareRebootTime < 1 ? s.MaxSearchTime : s.ToFirmwareRebootTime;
    if (!SearchDevice(identity, s.PollTime, 95, 5, limit, view)) return false;
    ok = FindDevice(identity, {.serial = serial, .create = true}, view, &connection, nullptr);
    LogThere(view, identity, ok);
    if (!ok) {
      connection.reset();
      return false;
    }
    view.Progress(10000);
    view.Log("OK, Device Reboot.");
    return true;
  } catch (const std::exception&) {
    view.Log("Exception, Device Reboot.");
    return false;
  }
}

bool IntelligentRebootViaPs(const DeviceIdentity& identity, bool required, Connection& connection,
                            const ControlView& view, Connection& supply) {
  if (!LookForModule("--------- rebooting a Device via its PowerSupply -------------", identity,
                     required, connection, view))
    return false;
  int64_t wantedNumber = FirmwareSerialNumber(identity.serial);
  TDeviceList list;
  Connection candidate;
  const TDeviceInfo* chosen = nullptr;
  for (int i = SearchBus(list, ListedSupply); i >= 0 && !chosen;
       i = SearchBus(list, ListedSupply, i + 1)) {
    TDeviceInfo* d = list.GetDevice(i);
    try {
      candidate = CreateDeviceConnection(*d, 0);
    } catch (const std::exception&) {
      continue;
    }
    view.Log("   ok, find a power supply %s", {ADevToStr(candidate.get(), true)});
    if (!SupplyVersionSupported(candidate.get(), view, "   ")) continue;
    int32_t serial = -1;
    EventLines lines = view.Lines();
    bool found = FindModuleSerial(identity.vid, identity.pid, candidate.get(), &lines,
                                  TransferList{}, serial);
    view.Log("   %s, was %s found in Baugr.Data serial number for Device: %s.",
             {found ? "OK" : "Error", found ? "" : "not",
              found ? FormatText("%d", {serial}) : std::string("nil")});
    // The firmware's serial number, also for a wanted serial read in safe mode.
    bool same = found && wantedNumber >= 0 && static_cast<uint32_t>(serial) == wantedNumber;
    view.Log("   (sn.: ?Dev \"%s\" %s \"%s\" FromPS) => it is%s my device.",
             {identity.serial, same ? "=" : "<>", FormatText("%d", {serial}), same ? "" : "n't"});
    if (same) chosen = d;
  }
  if (!chosen) {
    view.Log("  ERROR, found device via PowerSupply");
    return false;
  }
  view.Log("  OK, found device via PowerSupply");
  TDeviceInfo supplyInfo = KeptDeviceInfo(*chosen);
  supply = std::move(candidate);
  ClearMarker(supply.get(), false, view.lines, TransferList{});
  RebootCommand(supply.get(), view);
  supply.reset();
  ControlWait(100);
  // The module leaves with its supply; watched, not looked at once.
  if (!WatchLeave(identity, kLeaveWatchMs)) {
    view.Log("    bad, this isn't my PS, device is still plug (%s), end.",
             {IdentityToText(identity, true)});
    return FinishSupplyReboot(false, supplyInfo, view, supply);
  }
  view.Log("    ok, this is REALLY my PS, device was unpluged (%s)",
           {IdentityToText(identity, true)});
  view.Progress(1800);
  bool back = WaitForModuleBack(identity, connection, view);
  return FinishSupplyReboot(back, supplyInfo, view, supply);
}

bool RebootViaPs(const DeviceIdentity& identity, bool required, Connection& connection,
                 const ControlView& view, Connection& supply) {
  if (!LookForModule("--------- Device Reboot via PowerSupply -------------", identity, required,
                     connection, view))
    return false;
  bool anySupply = false;
  TDeviceInfo supplyInfo;
  bool unplugged = RebootEverySupply(identity, view, anySupply, supplyInfo);
  if (!anySupply) {
    if (!ManualReboot(identity, view)) return false;
    unplugged = true;
  }
  if (!unplugged) return false;
  view.Progress(1800);
  bool back = WaitForModuleBack(identity, connection, view);
  if (!anySupply) {
    view.Log("  %s, Reboot via PowerSupply", {back ? "OK" : "ERROR"});
    return back;
  }
  return FinishSupplyReboot(back, supplyInfo, view, supply);
}

bool UserPowerCycle(const DeviceIdentity& identity, Connection& connection, const ControlView& view,
                    bool serial, bool safe, int32_t periodMs) {
  const char* text = "Please switch-off device, wait 3s, switch-on device, and press [OK]";
  view.Log("%s", {text});
  view.Ask(text, MB_OK);
  ControlView noProgress = view;
  noProgress.showsProgress = false;
  SearchDevice(identity, periodMs, 100, 0, ControlSettings().MaxSearchTime, noProgress);
  return FindDevice(
      identity,
      {.serial = serial, .safe = safe, .settleMs = periodMs, .show = true, .create = true}, view,
      &connection, nullptr);
}

}  // namespace tessaro
