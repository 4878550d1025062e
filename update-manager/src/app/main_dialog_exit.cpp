// The ways out of Kestor's window: the Exit button and Esc, the exit thread
// that drives the state machine to its Exit state, and the shutdown in order
// once the workers are done.
#include "app/main_dialog.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "hwport/clock.h"
#include "resource.h"
#include "state/language_glue.h"
#include "state/process_context.h"
#include "state/shared_values.h"

namespace {

// How long the shutdown waits for a state thread to end, in ms of the clock.
constexpr DWORD kStateThreadWaitMs = 10000;
// How long the exit thread waits for the Exit state before it asks again.
constexpr DWORD kExitWaitMs = 2 * 60 * 1000;

void AppendDebugLog(const std::string& text) {
  if (theEnvironment) AppendLogText(theEnvironment->DebugLogPath(), text);
}

// A controller Kestor switched off is switched on again whatever way it ends.
void RestoreUsb2HostAtEnd() {
  if (theEnvironment) theEnvironment->EnsureUsb2HostRestored();
}

using kestor::LangText;

}  // namespace

void UpdateManagerDialog::OnExitButton() {
  // After the Exit state the debug log is closed and stays as it ends.
  if (CancelState() != CANCEL_STATE_STOPPED) AppendDebugLog("Exit pressed!checking\n");
  hwport::Sleep(100);
  if (CancelState() == CANCEL_STATE_RUNNING) {
    const std::string caption = LanguageTexts.Get(LangText::ExitAbortHeader);
    if (MessageBoxA(window_, LanguageTexts.Get(LangText::ExitStopUpdate).c_str(), caption.c_str(),
                    MB_YESNO) != IDYES) {
      return;
    }
    exitRequested = true;
    SetCancelState(CANCEL_STATE_REQUESTED);
    if (theDeviceUpdater && theDeviceUpdater->IsFlashInProgress()) {
      MessageBoxA(window_, LanguageTexts.Get(LangText::ExitImpossible).c_str(), caption.c_str(),
                  MB_OK);
    }
  }
  EnableWindow(GetDlgItem(window_, IDC_START_BUTTON), FALSE);
  EnableWindow(GetDlgItem(window_, IDC_EXIT_BUTTON), FALSE);
  exitRequested = true;
  HANDLE thread = CreateThread(nullptr, 0, ExitThreadProc, this, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void UpdateManagerDialog::OnCancel() {
  if (traceLevel == 0 && !stringTrace) {
    OnExitButton();
    return;
  }
  if (MessageBoxA(window_, "You really want to quit?", "Exit?", MB_YESNO) == IDYES) {
    // Ends at once, without the Exit state; only the controller is restored.
    RestoreUsb2HostAtEnd();
    EndDialog(window_, IDCANCEL);
  }
}

DWORD WINAPI UpdateManagerDialog::ExitThreadProc(LPVOID argument) {
  auto* self = static_cast<UpdateManagerDialog*>(argument);
  try {
    self->RunExitThread();
  } catch (...) {
  }
  PostMessageA(self->window_, WM_UPDATE_EXIT_DONE, 0, 0);
  g_bExitThreadDone = true;
  return 0;
}

void UpdateManagerDialog::RunExitThread() {
  // A machine resting in Update Possible is driven to Exit here; LeaveRest
  // refuses while another thread steps it, so only one thread ever does.
  if (machine_->LeaveRest(STATE_UPDATE_POSSIBLE, STATE_EXIT)) machine_->Step();
  const int state = CancelState();
  if (state != CANCEL_STATE_STOPPED && state != CANCEL_STATE_REQUESTED) {
    SetCancelState(CANCEL_STATE_REQUESTED);
  }
  for (;;) {
    // Two minutes of the clock, looking every 10 ms (a count of sleeps would
    // stretch it by every sleep's overshoot).
    const DWORD start = hwport::TickCount();
    while (hwport::TickCount() - start < kExitWaitMs) {
      if (CancelState() == CANCEL_STATE_STOPPED) return;
      // The state thread may have come to rest in Update Possible after the
      // first look; drive it on from here as well.
      if (machine_->LeaveRest(STATE_UPDATE_POSSIBLE, STATE_EXIT)) machine_->Step();
      hwport::Sleep(10);
    }
    if (MessageBoxA(window_, "A thread did not end correctly, want to wait 2 minutes?",
                    kMessageCaption, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
      return;
    }
  }
}

bool UpdateManagerDialog::WaitForStateThreads() {
  bool ended = true;
  for (HANDLE thread : stateThreads_) {
    if (thread && hwport::WaitForObject(thread, kStateThreadWaitMs) != WAIT_OBJECT_0) ended = false;
  }
  return ended;
}

void UpdateManagerDialog::OnShutdown() {
  // Both close messages may arrive; the second finds the work done.
  if (shutdownDone_) return;
  shutdownDone_ = true;
  for (int round = 0; round < 300; ++round) {
    hwport::Sleep(10);
    if (g_bExitThreadDone) {
      hwport::Sleep(10);
      break;
    }
  }
  // A state thread still running would use the objects below after they are
  // gone, the flash library among them (it may be inside a programming
  // file); when it does not end in time they are left to the process exit.
  // Without the Exit state (the user stopped waiting for it) the controller
  // would stay off for good.
  const bool ended = WaitForStateThreads();
  if (ended && theDeviceUpdater) theDeviceUpdater->FreeLibraries();
  RestoreUsb2HostAtEnd();
  if (!ended) {
    AppendDebugLog("\nA state thread did not end: objects left in place at shutdown\n");
    // The machine too: its destruction would wait for the running step.
    static_cast<void>(machine_.release());
    EndDialog(window_, IDOK);
    return;
  }
  machine_.reset();
  theProcessContext.Release();
  EndDialog(window_, IDOK);
}
