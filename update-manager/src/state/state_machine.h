// The update procedure as a chain of states. Only Step changes the current
// state, and only one thread at a time may step the machine.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "lumetra/sync.h"
#include "state/display_texts.h"
#include "state/state_context.h"
#include "state/update_state.h"

using StateFactory = std::function<std::unique_ptr<UpdateState>(UpdateStateId)>;

class StateMachine {
 public:
  // The factory makes the object of a state id; the machine starts with an
  // Initialize object, current id Error and next id Initialize, so the first
  // Step runs a fresh Initialize.
  // The context gives the machine the dialog's window to pass on and the
  // package's language files.
  StateMachine(const StateContext& context, StateFactory factory);
  ~StateMachine();
  StateMachine(const StateMachine&) = delete;
  StateMachine& operator=(const StateMachine&) = delete;

  // False when id is the wanted next id already.
  bool SetNext(UpdateStateId id);
  UpdateStateId CurrentId() const { return currentId_.load(); }
  UpdateStateId NextId() const { return nextId_.load(); }

  // Runs the next state; false when the machine rests (current == next).
  // A second thread calling Step waits until the first one is done.
  bool Step();
  // Steps until the machine rests, with the busy cursor on meanwhile.
  void StepUntilRest();

  // Moves a machine that rests in `resting` on to `next`; false when it does
  // not rest there or another thread is stepping it right now. This is how
  // Start Update and the Exit button leave Update Possible, so that they can
  // never both step the machine.
  bool LeaveRest(UpdateStateId resting, UpdateStateId next);

  // Stores the dialog window for every worker post; false for a null handle.
  bool SetDialogWindow(HWND window);

  DisplayTextsRecord CopyDisplayTexts() const { return context_.displayTexts->Copy(); }

  // Loads language `index` (0 English, n the n-th of the package's language
  // list) and shows the texts of the current state again: for USB Listen,
  // Update Possible, Update Process and Exit their Enter runs again and its
  // result is returned; for the others the current id.
  int SwitchLanguage(int index);

 private:
  const StateContext context_;
  StateFactory factory_;
  std::unique_ptr<UpdateState> state_;
  std::atomic<UpdateStateId> currentId_{STATE_ERROR};
  std::atomic<UpdateStateId> nextId_{STATE_INITIALIZE};
  lm::CriticalSection stepMutex_;
};

// Worker thread body: steps the machine until it rests. The argument is the
// StateMachine.
DWORD WINAPI StateThreadProc(LPVOID machine);
