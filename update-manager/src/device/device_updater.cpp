#include "device/device_updater.h"

#include <algorithm>
#include <cctype>

#include "environment/log_writer.h"
#include "state/shared_values.h"

DeviceUpdater* theDeviceUpdater = nullptr;

int CancelState() {
  return theDeviceUpdater ? theDeviceUpdater->GetCancelState() : CANCEL_STATE_STOPPED;
}

void SetCancelState(int value) {
  if (theDeviceUpdater) theDeviceUpdater->SetCancelState(value);
}

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

DeviceUpdater::DeviceUpdater(const std::vector<std::string>& args) { ParseCommandLine(args); }

bool DeviceUpdater::SetWindow(HWND window) {
  if (window == nullptr) return false;
  window_ = window;
  return true;
}

void ParseCommandLine(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    const std::string a = Lower(arg);
    if (a == "-d1") {
      traceLevel = 1;
    } else if (a == "-d2" || a == "-d3" || a == "-d4" || a == "-d5") {
      traceLevel = 2;
    } else if (a == "-a") {
      automaticUpdate = true;
    } else if (a == "-s2p") {
      stringTrace = true;
    }
  }
}
