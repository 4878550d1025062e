// A module's own data ("Baugr.Data"), kept across a firmware update through
// the module-data plug-in: read it into files, write files back, clear the
// files; the plug-in's progress shown while a call runs (TNE); and the wait
// for the device's ready event (WaitOnIrptCommand with its TMyClient).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tessaro/device_control.h"

namespace tessaro {

// Shows the plug-in's progress in the run's progress display and in a text
// line while a plug-in call runs; ticked every 100 ms.
class TNE {
 public:
  using StatusFn = void(WINAPI*)(int64_t* done, int64_t* total);
  // `display`: the events whose progress display it moves (may be absent).
  TNE(RunEvents* display, StatusFn status) : display_(display), status_(status) {}
  ~TNE();
  void SetTextTarget(bool on, TLineList* list, int column, int lineOffset);
  void Tick();

 private:
  RunEvents* display_;
  StatusFn status_;
  bool text_ = false;
  TLineList* list_ = nullptr;
  int lineOffset_ = 0;
  int column_ = 0;
};

// What the wait for an event is told: its id and the checks of its values.
struct EventWait {
  uint16_t eventId = 0;
  uint32_t lParam = 0;
  uint16_t wParam = 0;
  bool checkLParam = false;
  bool checkWParam = false;
  std::function<void()> action;
};

// An observer of a connection's events that runs the actions of the waits
// they match.
class TMyClient : public TClient {
 public:
  explicit TMyClient(TDevice* connection);
  ~TMyClient() override;
  void AddWaitEntry(const EventWait& entry) { waits_.push_back(entry); }
  void OnDeviceEvent(uint8_t pipe, uint16_t eventId, uint32_t lParam, uint16_t wParam) override;
  void Show(bool show);
  const std::vector<std::string>& EventLines() const { return lines_; }

 private:
  std::vector<EventWait> waits_;
  std::vector<std::string> lines_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
};

// The results of WaitOnIrptCommand.
enum IrptResult : int {
  kIrptReady = 0,
  kIrptNoEventChannel = 1,
  kIrptNoObserver = 2,
  kIrptTimeout = 3,
  kIrptNoReopen = 4,
  kIrptStorno = -1,
};

// The wait's lines and progress go to the view.
int WaitOnIrptCommand(Connection& connection, const ControlView& view, uint16_t readyId,
                      uint16_t stornoId, int32_t maxWaitMs, const std::string& readyName,
                      const std::string& stornoName, bool storno, bool show);

// The program folder's "Plugins\Orvane.dll" and its data folder.
std::string ModuleDataPluginPath();
std::string ModuleDataFolder();

bool ReadModuleData(Connection& connection, const ControlView& view, bool show);
bool WriteModuleData(Connection& connection, const ControlView& view, bool show, int32_t serial);
bool ClearModuleData(Connection& connection, const ControlView& view, bool show);

}  // namespace tessaro
