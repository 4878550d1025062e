// Kestor's one object for device access. So far it reads the command line and
// keeps the cancel state that the dialog, the exit thread and the states share.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

class DeviceUpdater {
 public:
  // args: the program arguments after the program name.
  explicit DeviceUpdater(const std::vector<std::string>& args);
  virtual ~DeviceUpdater() = default;

  bool SetWindow(HWND window);
  HWND Window() const { return window_.load(); }
  int GetCancelState() const { return cancelState_.load(); }
  void SetCancelState(int value) { cancelState_ = value; }
  bool IsFlashInProgress() const { return flashInProgress_.load(); }
  // Frees the flash library and qlinkx; nothing is loaded yet.
  void FreeLibraries() {}

 private:
  std::atomic<HWND> window_{nullptr};
  std::atomic<int> cancelState_{2};  // idle until an update starts
  std::atomic<bool> flashInProgress_{false};
};

extern DeviceUpdater* theDeviceUpdater;

// The cancel state that the dialog, the exit thread and the states share,
// kept by the updater. Without the updater (before start-up, after shutdown)
// nothing runs any more: that reads as CANCEL_STATE_STOPPED, and a write is
// dropped.
int CancelState();
void SetCancelState(int value);

// Sets traceLevel, automaticUpdate and stringTrace from the program arguments:
// compared without case, unknown ones ignored, a later one overriding an earlier.
void ParseCommandLine(const std::vector<std::string>& args);
