#include "state/state_machine.h"

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/system_environment.h"
#include "hwport/clock.h"
#include "state/language_glue.h"
#include "ui_texts/language_loader.h"

StateMachine::StateMachine(const StateContext& context, StateFactory factory)
    : context_(context), factory_(std::move(factory)) {
  state_ = factory_(STATE_INITIALIZE);
}

StateMachine::~StateMachine() {
  lm::Lock lock(stepMutex_);
  state_.reset();
}

bool StateMachine::SetNext(UpdateStateId id) { return nextId_.exchange(id) != id; }

bool StateMachine::Step() {
  lm::Lock lock(stepMutex_);
  UpdateStateId next = nextId_.load();
  if (currentId_.load() == next) return false;
  state_.reset();
  state_ = factory_(next);
  currentId_ = next;
  if (!state_) return false;
  nextId_ = state_->Execute();
  return true;
}

bool StateMachine::LeaveRest(UpdateStateId resting, UpdateStateId next) {
  lm::TryLock lock(stepMutex_);
  if (!lock.Held()) return false;
  if (currentId_.load() != resting || nextId_.load() != resting) return false;
  nextId_ = next;
  return true;
}

bool StateMachine::SetDialogWindow(HWND window) {
  if (window == nullptr) return false;
  if (context_.dialogWindow != nullptr) context_.dialogWindow->store(window);
  if (context_.channel != nullptr) context_.channel->SetWindow(window);
  return true;
}

int StateMachine::SwitchLanguage(int index) {
  const UpdateConfig* config = context_.config;
  const std::string file = config ? config->GetLanguageFile(index) : std::string();
  context_.languageTexts->Load(
      kestor::LanguageFilePath(config ? config->AppFolder() : ApplicationFolder(), file), context_);
  const UpdateStateId current = currentId_.load();
  if (current != STATE_USB_LISTEN && current != STATE_UPDATE_POSSIBLE &&
      current != STATE_UPDATE_PROCESS && current != STATE_EXIT) {
    return current;
  }
  // The states carry no data: a fresh object of the current state shows the
  // same texts, and the state thread may replace its own object meanwhile.
  std::unique_ptr<UpdateState> state = factory_(current);
  if (!state) return current;
  return state->Enter() ? 1 : 0;
}

void StateMachine::StepUntilRest() {
  if (context_.waitCursor != nullptr) context_.waitCursor->store(true);
  while (Step()) hwport::Sleep(0);
  if (context_.waitCursor != nullptr) context_.waitCursor->store(false);
}

DWORD WINAPI StateThreadProc(LPVOID argument) {
  static_cast<StateMachine*>(argument)->StepUntilRest();
  // Setting the cursor where it is makes the system ask the dialog for the
  // cursor shape again, so the busy cursor goes without the mouse moving.
  POINT where;
  if (GetCursorPos(&where)) SetCursorPos(where.x, where.y);
  return 0;
}
