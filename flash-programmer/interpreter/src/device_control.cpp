#include "tessaro/device_control.h"

#include "control_internal.h"
#include "tessaro/errors.h"
#include "tessaro/flash_operations.h"
#include "tessaro/gdi.h"
#include "tessaro/plugins.h"
#include "tessaro/utilities.h"

namespace tessaro {
DeviceControlSettings& ControlSettings() { return Settings().control; }
void SetPsPidAlias(bool on) { ControlSettings().PsPidAlias = on; }
void ResetControlSettings() { ControlSettings() = DeviceControlSettings(); }

bool ControlView::Log(const std::string& format, std::initializer_list<FormatArg> args) const {
  EventLines shown(events);
  LogCtrl(events ? &shown : nullptr, format, args);
  return shown.Added() > 0;
}

void ControlView::Show(const std::string& line) const {
  if (events) events->LogLine(line);
}

void ControlView::ReplaceLast(const std::string& line, int count) const {
  if (events) events->ReplaceLastLines(count, line);
}

void ControlView::Progress(int position, int maximum) const {
  RunEvents* display = ProgressEvents();
  if (!display) return;
  if (maximum >= 0) display->SetProgressMaximum(maximum);
  display->SetProgressPosition(position);
}

int ControlView::ProgressMaximum() const {
  RunEvents* display = ProgressEvents();
  return display ? display->ProgressMaximum() : 0;
}

int ControlView::Ask(const std::string& text, UINT type) const {
  Question question{text, "Tessaro", type, BoxOwner::kActiveWindow};
  return events ? events->Ask(question) : LibraryAsk(question);
}

void ControlView::DevicesCleared() const {
  if (events) events->DevicesCleared();
}

void ControlView::DeviceShown(const std::string& caption, const DeviceIdentity& identity) const {
  if (events) events->DeviceShown(caption, identity);
}

void ControlView::BusShown() const {
  if (events) events->BusShown();
}

void ControlWait(int32_t ms) { WaitLettingMessagesThrough(static_cast<DWORD>(ms < 0 ? 0 : ms)); }

void RebootCommand(TDevice* device, const ControlView& view) {
  try {
    RestartByMarker(device, false, view.lines, TransferList{});
  } catch (const std::exception&) {
    view.Log(" Except on restart, it is normal!");
  }
  ControlWait(500);
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

bool ReopenByIdentity(Connection& connection, const ControlView& view, int32_t settleMs) {
  DeviceIdentity identity = connection ? IdentityOf(*connection) : DeviceIdentity{};
  connection.reset();
  return FindDevice(identity, {.serial = false, .settleMs = settleMs, .show = true, .create = true},
                    view, &connection, nullptr);
}

bool OpenDevice(const DeviceIdentity& identity, Connection& connection, const ControlView& view) {
  view.Log("========== OPEN DEVICE SECTION ==========");
  connection.reset();
  bool ok = FindDevice(identity, {.show = true, .create = true}, view, &connection, nullptr);
  view.Log("OPEN DEVICE %s, device with vid:0x%4.4X,pid:0x%4.4X,s.n.:\"%s\" there %s.",
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
  view.DevicesCleared();
  view.Log("%s, Close device.", {ok ? "OK" : "ERROR"});
  return ok;
}

namespace {

bool Reopen(Connection& connection, const ControlView& view, int kind) {
  try {
    if (!connection) throw TessaroError("no device is open");
    TDeviceInfo info = KeptDeviceInfo(*connection);
    // Left empty if the new one cannot be made: nothing is freed twice.
    connection.reset();
    connection = CreateDeviceConnection(info, kind);
    if (kind == 1)
      view.Log("  %s, Reopen device with Irpt channel 0x83 (%s)",
               {"OK", ADevToStr(connection.get(), true)});
    else
      view.Log("  %s, Reopen device without channels", {"OK"});
    return true;
  } catch (const std::exception& e) {
    connection.reset();
    throw TessaroError(
        FormatText("Exception \"%s\",\r\n is possible that isn't open device...", {e.what()}));
  }
}

}  // namespace

bool ReopenWithEventChannel(Connection& connection, const ControlView& view) {
  return Reopen(connection, view, 1);
}

bool ReopenWithoutChannels(Connection& connection, const ControlView& view) {
  return Reopen(connection, view, 0);
}

}  // namespace tessaro
