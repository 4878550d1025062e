#include "state/state_context.h"

#include "vocabulary/cancel_token.h"

int StateContext::CancelState() const { return cancel ? cancel->State() : CANCEL_STATE_STOPPED; }

void StateContext::SetCancelState(int value) const {
  if (cancel) cancel->Set(value);
}

bool StateContext::ReplaceCancelState(int expected, int value) const {
  return cancel && cancel->Replace(expected, value);
}

bool StateContext::CancelRequested() const { return CancelState() == CANCEL_STATE_REQUESTED; }
