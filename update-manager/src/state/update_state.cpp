#include "state/update_state.h"

#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "state/shared_values.h"

bool UpdateState::PostTexts() {
  return PostMessageA(theDialogWindow.load(), WM_UPDATE_TEXTS, 0, 0) != FALSE;
}

void UpdateState::LogStatus(const std::string& text) {
  if (theEnvironment == nullptr) return;
  AppendLogText(theEnvironment->DebugLogPath(), text);
}
