// Kestor's only window. It owns the state machine, starts the state thread
// and the exit thread, shows what the workers post and shuts the program
// down in order.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "state/process_context.h"
#include "state/state_machine.h"
#include "state/state_outcomes.h"

class UpdateManagerDialog {
 public:
  // The states ask `outcomes` (tests); by default this computer's answers.
  // The states and this computer's answers work with the process context
  // as it stands when the dialog is made.
  explicit UpdateManagerDialog(StateOutcomes* outcomes = nullptr)
      : context_(theProcessContext.Context()),
        platformOutcomes_(context_),
        outcomes_(outcomes ? *outcomes : platformOutcomes_) {}
  ~UpdateManagerDialog();
  UpdateManagerDialog(const UpdateManagerDialog&) = delete;
  UpdateManagerDialog& operator=(const UpdateManagerDialog&) = delete;

  // Runs the dialog modally; returns its result.
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI ExitThreadProc(LPVOID dialog);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // The messages the workers post (WM_UPDATE_*); FALSE for any other.
  INT_PTR HandleKestorMessage(UINT message, WPARAM wParam, LPARAM lParam);

  BOOL OnInitDialog();
  INT_PTR OnCommand(WPARAM wParam);
  void OnUpdateTexts();
  void RefreshStepList();
  void ToggleDetails();
  void ShowHelp();
  void OnDeviceLockupTimer(UINT_PTR timer);
  void OnPaint();
  void ShowTitleBitmap();
  void SwitchLanguage(int index);
  void OnTotalProgress(WPARAM position, LPARAM range);
  void OnStepProgress(WPARAM progress, LPARAM code);
  void OnStartCancel();
  void OnExitButton();
  void OnCancel();
  void OnShutdown();
  void StartStateThread();
  bool WaitForStateThreads();
  void RunExitThread();

  HWND window_ = nullptr;
  const StateContext context_;
  PlatformOutcomes platformOutcomes_;
  StateOutcomes& outcomes_;
  std::unique_ptr<StateMachine> machine_;
  HANDLE stateThreads_[2] = {nullptr, nullptr};
  bool shutdownDone_ = false;
  bool detailsShown_ = false;
  HICON icon_ = nullptr;
  HBITMAP titleBitmap_ = nullptr;
};

// The window-title base: slot 0 of the display texts, "Kestor" at start.
extern std::string savedTitle;
