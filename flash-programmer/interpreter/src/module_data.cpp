#include "tessaro/module_data.h"

#include <atomic>
#include <memory>

#include "tessaro/flash_settings.h"
#include "tessaro/gdi.h"
#include "tessaro/plugins.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

// The helper the progress timer ticks: a timer procedure is given no context
// of its own.
TNE* g_ticking = nullptr;

void CALLBACK TickTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_ticking) g_ticking->Tick();
}

bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// A plug-in call with its progress shown: the work function, its start and
// end texts.
bool CallWithProgress(TBDPlugin* plugin, OrvaneWorkFn work, const char* startText,
                      const char* endText, const ControlView& view) {
  bool ok = false;
  view.Log(startText);
  try {
    if (work) {
      TNE helper(view.ProgressEvents(), plugin->OrvaneGetStatus);
      helper.SetTextTarget(true, view.lines, 3, 0);
      g_ticking = &helper;
      UINT_PTR timer = SetTimer(nullptr, 0, 100, &TickTimer);
      try {
        ok = (work() & 0xFF) != 0;
      } catch (...) {
        ok = false;
      }
      KillTimer(nullptr, timer);
      g_ticking = nullptr;
    }
  } catch (...) {
    g_ticking = nullptr;
    ok = false;
  }
  view.Log(endText, {ok ? "OK" : "ERROR"});
  return ok;
}

bool SendDataPath(TBDPlugin* plugin, std::string path, const ControlView& view) {
  if (path.empty() || path.back() != '\\') path += '\\';
  view.Log("  path sending...");
  bool exists = FolderExists(path);
  if (exists && plugin->OrvanePath) plugin->OrvanePath(path.c_str());
  bool ok = exists && plugin->OrvanePath;
  view.Log("  %s, send directory path %s", {ok ? "OK" : "ERROR", path});
  return ok;
}

bool DeleteDataFiles(TBDPlugin* plugin, const ControlView& view) {
  view.Log("  files deleting...");
  bool ok = plugin->OrvaneFileDelete && (plugin->OrvaneFileDelete() & 0xFF) != 0;
  view.Log("  %s, deleted files", {ok ? "OK" : "ERROR"});
  return ok;
}

void WriteModuleSerial(TBDPlugin* plugin, int32_t serial, const ControlView& view) {
  view.Log("  new serial number to module writting...");
  bool ok = false;
  try {
    if (plugin->OrvaneWriteSerNumb) {
      plugin->OrvaneWriteSerNumb(serial);
      ok = true;
    }
  } catch (...) {
    ok = false;
  }
  view.Log("  %s, wrotte ser.number %d", {ok ? "OK" : "ERROR", serial});
}

bool PluginMissing(const ControlView& view) {
  if (FileExists(ModuleDataPluginPath())) return false;
  view.Ask(FormatText("Cannot find plugins file \"%s\"", {ModuleDataPluginPath()}), MB_OK);
  return true;
}

// Read and Clear: the steps between connecting and disconnecting the plug-in.
bool WithPlugin(Connection& connection, const ControlView& view, bool show, const char* heading,
                const char* closing, const std::function<bool(TBDPlugin*)>& steps) {
  if (PluginMissing(view)) return false;
  view.Log(heading);
  std::unique_ptr<TBDPlugin> holder;
  bool ok = false;
  EventLines lines = view.Lines();
  if (ReopenWithEventChannel(connection, view) &&
      ConnectPlugin(connection.get(), kModuleDataPlugin, holder, show, &lines)) {
    ok = steps(holder.get());
    if (!DisconnectPlugin(holder, &lines)) ok = false;
  }
  if (!ReopenWithoutChannels(connection, view)) ok = false;
  view.Log(closing, {ok ? "OK" : "ERROR"});
  return ok;
}

}  // namespace

TNE::~TNE() {
  if (display_) display_->SetProgressPosition(0);
  display_ = nullptr;
}

void TNE::SetTextTarget(bool on, TLineList* list, int column, int lineOffset) {
  text_ = on;
  list_ = list;
  column_ = column < 1 ? 1 : column;
  lineOffset_ = lineOffset;
}

void TNE::Tick() {
  int64_t done = 0, total = 0;
  if (status_) status_(&done, &total);
  if (display_) {
    if (display_->ProgressMaximum() != total) display_->SetProgressMaximum(static_cast<int>(total));
    if (display_->ProgressPosition() != done) display_->SetProgressPosition(static_cast<int>(done));
  }
  if (!text_ || !list_ || total <= 0) return;
  int index = list_->Count() - (lineOffset_ + 1);
  if (index < 0 || index >= list_->Count()) return;
  std::string line = list_->Line(index);
  size_t column = static_cast<size_t>(column_);
  if (column + 7 >= line.size()) line += "        ";
  if (column + 7 < line.size()) {
    std::string percent = FormatText("%4.2f%%   ", {static_cast<double>(done) / total * 100});
    // Characters 1..6 at column..column+5, character 7 at column+7 (1-based).
    for (size_t k = 0; k < 6 && k < percent.size(); ++k) line[column - 1 + k] = percent[k];
    if (percent.size() > 6) line[column + 6] = percent[6];
  }
  list_->SetLine(index, line);
}

TMyClient::TMyClient(TDevice* connection) : TClient(connection) {
  window_ = CreateWindowExA(0, "LISTBOX", "Client",
                            WS_OVERLAPPEDWINDOW | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, CW_USEDEFAULT,
                            CW_USEDEFAULT, 420, 300, nullptr, nullptr, nullptr, nullptr);
  list_ = window_;
  Window = window_;
}

TMyClient::~TMyClient() {
  if (window_) DestroyWindow(window_);
  waits_.clear();
}

void TMyClient::Show(bool show) {
  if (window_) ShowWindow(window_, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void TMyClient::OnDeviceEvent(uint8_t pipe, uint16_t eventId, uint32_t lParam, uint16_t wParam) {
  std::string line = FormatText("0x%2.2x, EvId:0x%4.4x lPar:0x%8.8x wPar:0x%4.4x",
                                {pipe, eventId, lParam, wParam});
  lines_.push_back(line);
  if (list_) {
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    RECT r{};
    GetClientRect(list_, &r);
    int lineHeight = static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, 0, 0));
    // A hidden or flat list holds no lines: nothing to trim, no division by zero.
    int fit = lineHeight > 0 ? (r.bottom - r.top - 4) / lineHeight - 1 : 0;
    while (SendMessageA(list_, LB_GETCOUNT, 0, 0) > (fit > 0 ? fit : 0) &&
           SendMessageA(list_, LB_GETCOUNT, 0, 0) > 0)
      SendMessageA(list_, LB_DELETESTRING, 0, 0);
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
  }
  // Copies: an action may end the wait that owns this client.
  std::vector<EventWait> waits = waits_;
  for (const EventWait& w : waits)
    if (w.eventId == eventId && (!w.checkLParam || w.lParam == lParam) &&
        (!w.checkWParam || w.wParam == wParam) && w.action)
      w.action();
}

namespace {

// The connection reopened with its event pipe; false (with its line) when
// that fails or the device refused to bind the pipe: no ready can come
// without it, the wait would only time out.
bool ReopenForEvents(Connection& connection, const ControlView& view) {
  bool reopened = false;
  try {
    reopened = ReopenWithEventChannel(connection, view);
    const auto* gdi = dynamic_cast<const TGDI*>(connection.get());
    if (reopened && gdi && !gdi->HasReader(0x83)) {
      view.Log("  ERROR, no event pipe 0x83 on the reopened device");
      reopened = false;
    }
  } catch (const std::exception& e) {
    view.Log("  %s", {e.what()});
  }
  return reopened;
}

// Waits with the client attached for the ready event (or the storno event)
// and reopens the connection without channels afterwards.
int WaitWithClient(Connection& connection, const ControlView& view, uint16_t readyId,
                   uint16_t stornoId, int32_t maxWaitMs, const std::string& stornoText, bool storno,
                   bool show) {
  // Attached before anything is let through: a ready the device sent as it
  // came back reaches the client.
  std::unique_ptr<TMyClient> client;
  try {
    client = std::make_unique<TMyClient>(connection.get());
  } catch (...) {
    client.reset();
  }
  view.Log("  %s, connect plugin", {client ? "OK" : "ERROR"});
  if (!client) return kIrptNoObserver;
  view.Log("  is show list of receving events, will wait on command 0x%4.4X (I'M READY)",
           {readyId});
  client->Show(show);
  static std::atomic<bool> deviceReady{false};
  client->AddWaitEntry({.eventId = readyId, .action = [] {
                          SetWaitEnded(true);
                          deviceReady = true;
                        }});
  if (storno)
    client->AddWaitEntry({.eventId = stornoId, .action = [] {
                            SetWaitEnded(true);
                            deviceReady = false;
                          }});
  deviceReady = false;
  WaitWithProgress(maxWaitMs, 100, view.ProgressEvents());
  int result;
  if (!WaitEnded()) {
    result = kIrptTimeout;
    view.Log("  TIMEOUT, in wait on Device is READY");
  } else if (!storno || deviceReady) {
    result = kIrptReady;
    view.Log("  OK, Device is READY");
  } else {
    result = kIrptStorno;
    view.Log("  Error, stop on storno command (%s)", {stornoText});
  }
  client->Show(false);
  client.reset();
  view.Log("  OK, unconnect plugin");
  try {
    ReopenWithoutChannels(connection, view);
  } catch (const std::exception& e) {
    view.Log("  %s", {e.what()});
    result = kIrptNoReopen;
  }
  return result;
}

}  // namespace

int WaitOnIrptCommand(Connection& connection, const ControlView& view, uint16_t readyId,
                      uint16_t stornoId, int32_t maxWaitMs, const std::string& readyName,
                      const std::string& stornoName, bool storno, bool show) {
  std::string stornoText = storno && !stornoName.empty() ? "=> " + stornoName + " " : "";
  std::string suffix =
      storno ? FormatText("( Storno of waiting on command 0x%4.4X %s) ", {stornoId, stornoText})
             : "";
  view.Log("--------- Waiting on %s Command 0x%4.4X, max.waiting %d ms %s-------------",
           {readyName, readyId, maxWaitMs, suffix});
  int result =
      ReopenForEvents(connection, view)
          ? WaitWithClient(connection, view, readyId, stornoId, maxWaitMs, stornoText, storno, show)
          : kIrptNoEventChannel;
  view.Log("  %s, WaitOnIrptCommand", {result == kIrptReady ? "OK" : "ERROR"});
  return result;
}

std::string ModuleDataPluginPath() { return ExecutableFolder() + "\\" + kModuleDataPlugin; }

std::string ModuleDataFolder() {
  std::string backups = ExecutableFolder() + "\\backups";
  return FolderExists(backups) ? backups : ExecutableFolder();
}

bool ReadModuleData(Connection& connection, const ControlView& view, bool show) {
  return WithPlugin(connection, view, show, "--------- Reading of Baugr.Data -------------",
                    "  %s Read of Baugr.Data", [&](TBDPlugin* p) {
                      return SendDataPath(p, ModuleDataFolder(), view) &&
                             CallWithProgress(p, p->OrvaneModuleToFile,
                                              "  00.00%%  module to files storing...",
                                              "  %s, Module to files", view);
                    });
}

bool ClearModuleData(Connection& connection, const ControlView& view, bool show) {
  return WithPlugin(connection, view, show, "--------- Clearing of Baugr.Data files -------------",
                    "  %s, Cleared Baugr. Data files", [&](TBDPlugin* p) {
                      return SendDataPath(p, ModuleDataFolder(), view) && DeleteDataFiles(p, view);
                    });
}

bool WriteModuleData(Connection& connection, const ControlView& view, bool show, int32_t serial) {
  if (PluginMissing(view)) return false;
  EventLines lines = view.Lines();
  try {
    view.Log("--------- Writing of Baugr.Data -------------");
    std::unique_ptr<TBDPlugin> holder;
    bool ok = false;
    if (ReopenWithEventChannel(connection, view) &&
        ConnectPlugin(connection.get(), kModuleDataPlugin, holder, show, &lines)) {
      TBDPlugin* p = holder.get();
      if (serial != -1) WriteModuleSerial(p, serial, view);
      const char* step = "  %EXCEPT, in SendPath ";
      try {
        ok = SendDataPath(p, ModuleDataFolder(), view);
        step = "  %EXCEPT, in FileToFile";
        if (ok)
          ok = CallWithProgress(p, p->OrvaneFileToFile, "  00.00%%  files to files converting...",
                                "  %s, convert Files to Files", view);
        step = "  %EXCEPT, in FileToModule";
        if (ok)
          ok = CallWithProgress(p, p->OrvaneFileToModule, "  00.00%%  files to module writing...",
                                "  %s, File to Module", view);
      } catch (...) {
        view.Log("%s", {step});
        ok = false;
      }
      if (!DisconnectPlugin(holder, &lines)) ok = false;
    }
    if (!ReopenWithoutChannels(connection, view)) ok = false;
    view.Log("  %s, Write Baugr. Data", {ok ? "OK" : "ERROR"});
    return ok;
  } catch (...) {
    view.Log("%s", {"  %EXCEPT, Write Baugr. Data"});
    return false;
  }
}

}  // namespace tessaro
