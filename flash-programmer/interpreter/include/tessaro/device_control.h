// Device control: the flows the command interpreter runs against the bus.
// Each enumerates the bus afresh (one bus search, bus_search.cpp), reports
// its lines ("[UsbDevCtrl] " lines), shows devices and asks through the
// run's events, and makes, finds, opens, reboots (reboot_flows.cpp) and
// reopens device connections. Who a device is lives in device_identity.h.
// Only the reopen operations raise; every other failure is a false result
// with a log line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tessaro/device.h"
#include "tessaro/device_identity.h"
#include "tessaro/flash_settings.h"
#include "tessaro/line_lists.h"
#include "tessaro/run_events.h"

namespace tessaro {

// The library's settings of these flows (DeviceControlSettings, in the
// library's settings).
DeviceControlSettings& ControlSettings();
void SetPsPidAlias(bool on);
// Back to the settings of a freshly loaded library.
void ResetControlSettings();

// Where a flow reports: the run's events (may be absent).
struct ControlView {
  // The run's events: where the flows' lines show, where they show devices
  // and ask (the form's Info window, tree and boxes, or the job's lines and
  // the boxes alone). None shows nothing and asks through the library's
  // events. The interpreter fills it from its view's Events().
  RunEvents* events = nullptr;
  // The run's log as the units below the flows take it: the flash
  // operations rewrite a poll's line in place, the plug-in's progress its
  // percentage.
  LogList lines;
  // False: the flow leaves the run's progress display as it is.
  bool showsProgress = true;
  // A device-control line ("[UsbDevCtrl] ") to the log files and the run's
  // log; true when the run's log showed it.
  bool Log(const std::string& format, std::initializer_list<FormatArg> args = {}) const;
  // A line the run's log shows and the files do not take (a wait's round).
  void Show(const std::string& line) const;
  // The run's last `count` lines become this one (a round, rewritten in place).
  void ReplaceLast(const std::string& line, int count = 1) const;
  // Moves the run's progress display: a new maximum (unless negative), then
  // the position.
  void Progress(int position, int maximum = -1) const;
  // The display's maximum (0 when the flow leaves it alone).
  int ProgressMaximum() const;
  // The events whose display a unit below the flow moves, or none.
  RunEvents* ProgressEvents() const { return showsProgress ? events : nullptr; }
  // The run's log as a list for a unit that appends its own lines.
  EventLines Lines() const { return EventLines(events); }
  // Asks with a "Tessaro" box owned by the active window; the answer is
  // IDYES, IDNO, IDOK...
  int Ask(const std::string& text, UINT type) const;
  void DevicesCleared() const;
  void DeviceShown(const std::string& caption, const DeviceIdentity& identity) const;
  void BusShown() const;
};

using Connection = std::unique_ptr<TDevice>;

bool PidMatches(uint16_t found, uint16_t wanted);
// 0: no channels; 1: event pipe 0x83; 2: 0x81 and 0x83; else none.
Connection CreateDeviceConnection(const TDeviceInfo& info, int kind);

bool IsDevicePresent(uint16_t vid, uint16_t pid, const std::string& serial, bool serialMustMatch);
bool CheckDeviceUnique(uint16_t vid, uint16_t pid, const ControlView& view);

struct FindOptions {
  bool serial = true;  // the serial text must equal the wanted one
  bool safe = false;   // instead: a serial that says safe mode
  int32_t settleMs = 0;
  bool show = false;
  bool create = false;  // open a kind-0 connection into `connection`
};
bool FindDevice(const DeviceIdentity& wanted, const FindOptions& options, const ControlView& view,
                Connection* connection, DeviceIdentity* found);
// Frees the connection and finds the same device again (serial off, safe
// off): the device's serial number may have changed.
bool ReopenByIdentity(Connection& connection, const ControlView& view, int32_t settleMs);

bool WaitForUnplug(const DeviceIdentity& identity, int32_t periodMs, int32_t limitMs,
                   const ControlView& view);
bool SearchDevice(const DeviceIdentity& identity, int32_t periodMs, int endPercent,
                  int startPercent, int32_t limitMs, const ControlView& view,
                  int32_t* elapsedMs = nullptr);

bool RebootTest(const DeviceIdentity& identity, DeviceIdentity& safe, DeviceIdentity& firmware,
                int32_t settleMs, const ControlView& view);
bool RebootToMode(const DeviceIdentity& before, const DeviceIdentity& after, bool toSafe,
                  int32_t settleMs, const ControlView& view, Connection& connection);
bool RebootDevice(const DeviceIdentity& identity, Connection& connection, const ControlView& view,
                  bool serial);
bool IntelligentRebootViaPs(const DeviceIdentity& identity, bool required, Connection& connection,
                            const ControlView& view, Connection& supply);
bool RebootViaPs(const DeviceIdentity& identity, bool required, Connection& connection,
                 const ControlView& view, Connection& supply);
bool UserPowerCycle(const DeviceIdentity& identity, Connection& connection, const ControlView& view,
                    bool serial, bool safe, int32_t periodMs);
bool OpenDevice(const DeviceIdentity& identity, Connection& connection, const ControlView& view);
bool CloseDevice(Connection& connection, const ControlView& view);
// Raise TessaroError on failure.
bool ReopenWithEventChannel(Connection& connection, const ControlView& view);
bool ReopenWithoutChannels(Connection& connection, const ControlView& view);

}  // namespace tessaro
