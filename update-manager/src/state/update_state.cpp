#include "state/update_state.h"

#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "state/shared_values.h"

bool UpdateState::PostTexts() {
  DeviceUpdater* updater = theDeviceUpdater;
  return updater != nullptr && updater->Channel().PostTexts();
}

void UpdateState::LogStatus(const std::string& text) {
  if (theEnvironment == nullptr) return;
  AppendLogText(theEnvironment->DebugLogPath(), text);
}
