// The nine update states. Each does the least its place in the transition
// table needs: the decisions come from StateOutcomes.
#pragma once

#include <string>

#include "state/display_texts.h"
#include "state/state_context.h"
#include "state/state_machine.h"
#include "state/state_outcomes.h"
#include "state/update_state.h"
#include "ui_texts/language_texts.h"

class OutcomeState : public UpdateState {
 public:
  OutcomeState(const StateContext& context, StateOutcomes& outcomes)
      : context_(context), outcomes_(outcomes) {}

 protected:
  // Through the context's channel and debug log.
  bool PostTexts() const { return context_.PostTexts(); }
  void LogStatus(const std::string& text) const { context_.LogStatus(text); }
  // The context's display texts and the current language's texts.
  SharedDisplayTexts& Display() const { return *context_.displayTexts; }
  std::string Text(kestor::LangText id) const;
  std::string ErrorText(int index) const;
  // The status line and the state's title (no post).
  void ShowStatus(const std::string& status, const char* title) const;

  const StateContext context_;
  StateOutcomes& outcomes_;
};

class StateInitialize : public OutcomeState {
 public:
  // Loads the English texts and clears the error index.
  StateInitialize(const StateContext& context, StateOutcomes& outcomes);
  UpdateStateId Execute() override;
  // The package's supported device and release into their slots (no post).
  void ShowPackageInfo();
};

// No state leads here; it ends in the Error state with the no-driver text.
class StateInstallDriver : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  UpdateStateId Execute() override;
};

class StateUsbListen : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

class StateUsbConnect : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

class StateUpdatePossible : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

class StateUpdateProcess : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

class StateInfo : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

class StateError : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

class StateExit : public OutcomeState {
 public:
  using OutcomeState::OutcomeState;
  bool Enter() override;
  UpdateStateId Execute() override;
};

// The factory of the nine states over the given context and outcomes (ids
// 0..8; null for others).
StateFactory MakeStateFactory(const StateContext& context, StateOutcomes& outcomes);
