#include "state/state_context.h"

#include "device/worker_channel.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "vocabulary/cancel_token.h"

int StateContext::CancelState() const { return cancel ? cancel->State() : CANCEL_STATE_STOPPED; }

void StateContext::SetCancelState(int value) const {
  if (cancel) cancel->Set(value);
}

bool StateContext::ReplaceCancelState(int expected, int value) const {
  return cancel && cancel->Replace(expected, value);
}

bool StateContext::CancelRequested() const { return CancelState() == CANCEL_STATE_REQUESTED; }

bool StateContext::PostTexts() const { return channel != nullptr && channel->PostTexts(); }

void StateContext::LogStatus(const std::string& text) const {
  if (environment == nullptr) return;
  AppendLogText(environment->DebugLogPath(), text);
}
