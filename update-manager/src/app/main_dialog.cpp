#include "app/main_dialog.h"

#include <commctrl.h>

#include <cstdio>

#include "bare_ids.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "hwport/clock.h"
#include "state/shared_values.h"
#include "state/states.h"

std::string savedTitle = "Kestor";

namespace {

// How long the shutdown waits for a state thread to end, in ms of the clock.
constexpr DWORD kStateThreadWaitMs = 10000;

// After shutdown the updater is gone; the dialog then only waits for its end.
int CancelState() {
  return theDeviceUpdater ? theDeviceUpdater->GetCancelState() : CANCEL_STATE_STOPPED;
}
void SetCancelState(int value) {
  if (theDeviceUpdater) theDeviceUpdater->SetCancelState(value);
}

void AppendDebugLog(const std::string& text) {
  if (theEnvironment) AppendLogText(theEnvironment->DebugLogPath(), text);
}

}  // namespace

UpdateManagerDialog::~UpdateManagerDialog() {
  for (HANDLE& thread : stateThreads_) {
    if (thread) CloseHandle(thread);
    thread = nullptr;
  }
}

INT_PTR UpdateManagerDialog::DoModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_KESTOR_DIALOG), nullptr,
                         DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK UpdateManagerDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<UpdateManagerDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->window_ = window;
  }
  auto* self = reinterpret_cast<UpdateManagerDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR UpdateManagerDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_QUERYENDSESSION:
      PostMessageA(window_, WM_UPDATE_SHUTDOWN_REFUSED, 0, 0);
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_UPDATE_SHUTDOWN_REFUSED:
      MessageBoxA(window_, "Shutdown canceled - Please finish the update", kMessageCaption,
                  MB_OK | MB_TOPMOST);
      return TRUE;
    case WM_UPDATE_TEXTS:
      OnUpdateTexts();
      return TRUE;
    case WM_UPDATE_TOTAL_PROGRESS:
      OnTotalProgress(wParam, lParam);
      return TRUE;
    case WM_UPDATE_STEP_PROGRESS:
      OnStepProgress(wParam, lParam);
      return TRUE;
    case WM_UPDATE_CLOSE:
    case WM_UPDATE_EXIT_DONE:
      OnShutdown();
      return TRUE;
    case WM_SETCURSOR:
      if (!waitCursorActive) return FALSE;
      SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_START_CANCEL:
          OnStartCancel();
          return TRUE;
        case IDC_EXIT:
          OnExitButton();
          return TRUE;
        case IDCANCEL:
          OnCancel();
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

BOOL UpdateManagerDialog::OnInitDialog() {
  machine_ = std::make_unique<StateMachine>(MakeStateFactory(outcomes_));
  OnUpdateTexts();
  machine_->SetDialogWindow(window_);
  hwport::Sleep(0);
  StartStateThread();
  return TRUE;
}

void UpdateManagerDialog::StartStateThread() {
  HANDLE thread = CreateThread(nullptr, 0, StateThreadProc, machine_.get(), 0, nullptr);
  // The first thread starts at initialisation, a second one with Start Update.
  HANDLE& slot = stateThreads_[0] == nullptr ? stateThreads_[0] : stateThreads_[1];
  if (slot) CloseHandle(slot);
  slot = thread;
}

void UpdateManagerDialog::OnUpdateTexts() {
  const DisplayTextsRecord texts = DisplayTexts.Copy();
  static const struct {
    int control;
    int slot;
  } shown[] = {{IDC_SUPPORTED_DEVICE, 3}, {IDC_PACKAGE_RELEASE, 5}, {IDC_DEVICE_TYPE, 8},
               {IDC_DEVICE_SERIAL, 10},   {IDC_DEVICE_RELEASE, 12}, {IDC_STATUS_TEXT, 14},
               {IDC_STEP_TEXT, 17}};
  for (const auto& s : shown) SetDlgItemTextA(window_, s.control, texts.texts[s.slot].c_str());
  if (!texts.texts[SLOT_START_BUTTON].empty()) {
    SetDlgItemTextA(window_, IDC_START_CANCEL, texts.texts[SLOT_START_BUTTON].c_str());
  }
  EnableWindow(GetDlgItem(window_, IDC_START_CANCEL), texts.startEnabled);
  if (!texts.texts[SLOT_EXIT_BUTTON].empty()) {
    SetDlgItemTextA(window_, IDC_EXIT, texts.texts[SLOT_EXIT_BUTTON].c_str());
  }
  // Until the language texts fill the title slot the window keeps "Kestor".
  if (!texts.texts[SLOT_TITLE].empty()) savedTitle = texts.texts[SLOT_TITLE];
  const int position =
      static_cast<int>(SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_GETPOS, 0, 0));
  const std::string title =
      position < 1 ? savedTitle : "(" + std::to_string(position) + "%) " + savedTitle;
  SetWindowTextA(window_, title.c_str());
}

void UpdateManagerDialog::OnTotalProgress(WPARAM position, LPARAM range) {
  const std::string title = "(" + std::to_string(position) + "%) " + savedTitle;
  SetWindowTextA(window_, title.c_str());
  SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_SETRANGE32, 0, range);
  SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_SETPOS, position, 0);
}

void UpdateManagerDialog::OnStepProgress(WPARAM progress, LPARAM code) {
  SendDlgItemMessageA(window_, IDC_STEP_PROGRESS, PBM_SETRANGE32, 0, 10000);
  SendDlgItemMessageA(window_, IDC_STEP_PROGRESS, PBM_SETPOS, progress, 0);
  const int status = static_cast<short>(LOWORD(code));
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.2f ", static_cast<double>(progress) * 0.01);
  if (theConfig == nullptr) return;
  const std::string text = theConfig->StatusTextTable.StepText(status) + " ( " + percent + " %) ";
  SetDlgItemTextA(window_, IDC_STEP_TEXT, text.c_str());
}

void UpdateManagerDialog::OnStartCancel() {
  switch (CancelState()) {
    case CANCEL_STATE_RUNNING:
      if (MessageBoxA(window_, "Do you really want to cancel the Update?Warning!", kMessageCaption,
                      MB_YESNO) == IDYES) {
        SetCancelState(CANCEL_STATE_REQUESTED);
        SetDlgItemTextA(window_, IDC_STATUS_TEXT, "Cancel in Progress! Waiting for safepoint!!");
      }
      break;
    case CANCEL_STATE_REQUESTED:
      MessageBoxA(window_, "Cancel in Progress, waiting for safe cancelpoint!", kMessageCaption,
                  MB_OK);
      break;
    case CANCEL_STATE_IDLE:
      // Only a machine resting in Update Possible is started; the Exit button
      // may have taken it already.
      if (machine_->LeaveRest(STATE_UPDATE_POSSIBLE, STATE_UPDATE_PROCESS)) {
        SetCancelState(CANCEL_STATE_RUNNING);
        StartStateThread();
      }
      break;
    default:
      break;
  }
}

void UpdateManagerDialog::OnExitButton() {
  AppendDebugLog("Exit pressed!checking\n");
  hwport::Sleep(100);
  if (CancelState() == CANCEL_STATE_RUNNING) {
    if (MessageBoxA(window_,
                    "Do you really want to close the application? This will leave the instrument "
                    "in an undefined state!",
                    "Warning!", MB_YESNO) != IDYES) {
      return;
    }
    exitRequested = true;
    SetCancelState(CANCEL_STATE_REQUESTED);
    if (theDeviceUpdater && theDeviceUpdater->IsFlashInProgress()) {
      MessageBoxA(window_,
                  "Unable to cancel the update process at this update step! Please wait update "
                  "will be interrupted in a moment!",
                  "Warning!", MB_OK);
    }
  }
  EnableWindow(GetDlgItem(window_, IDC_START_CANCEL), FALSE);
  EnableWindow(GetDlgItem(window_, IDC_EXIT), FALSE);
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
    for (int round = 0; round < 60; ++round) {  // 60 times 2 s: 2 minutes
      for (int tick = 0; tick < 200; ++tick) {
        if (CancelState() == CANCEL_STATE_STOPPED) return;
        // The state thread may have come to rest in Update Possible after
        // the first look; drive it on from here as well.
        if (machine_->LeaveRest(STATE_UPDATE_POSSIBLE, STATE_EXIT)) machine_->Step();
        hwport::Sleep(10);
      }
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
  if (theDeviceUpdater) theDeviceUpdater->FreeLibraries();
  // A state thread still running would use the objects below after they are
  // gone; when it does not end in time they are left to the process exit.
  if (!WaitForStateThreads()) {
    AppendDebugLog("\nA state thread did not end: objects left in place at shutdown\n");
    EndDialog(window_, IDOK);
    return;
  }
  machine_.reset();
  delete theDeviceUpdater;
  theDeviceUpdater = nullptr;
  delete theConfig;
  theConfig = nullptr;
  delete theEnvironment;
  theEnvironment = nullptr;
  EndDialog(window_, IDOK);
}
