// Values shared by the states, the dialog and the device updater. Several
// threads read and write them, so each is atomic.
#pragma once

#include <windows.h>

#include <atomic>

// Kestor's private messages to the main dialog.
constexpr UINT WM_UPDATE_TEXTS = WM_APP + 1;
constexpr UINT WM_UPDATE_TOTAL_PROGRESS = WM_APP + 2;
constexpr UINT WM_UPDATE_STEP_PROGRESS = WM_APP + 3;
constexpr UINT WM_UPDATE_CLOSE = WM_APP + 4;
constexpr UINT WM_UPDATE_EXIT_DONE = WM_APP + 5;
constexpr UINT WM_UPDATE_SHUTDOWN_REFUSED = WM_APP + 6;

enum CancelStateValue : int {
  CANCEL_STATE_RUNNING = 0,
  CANCEL_STATE_REQUESTED = 1,
  CANCEL_STATE_IDLE = 2,
  CANCEL_STATE_STOPPED = 3
};

extern std::atomic<HWND> theDialogWindow;
extern std::atomic<int> ErrorTextIndex;  // 0 none, 1..17 selects ErrorText<n>
extern std::atomic<bool> waitCursorActive;
extern std::atomic<bool> exitRequested;
extern std::atomic<bool> g_bExitThreadDone;
extern std::atomic<bool> automaticUpdate;
extern std::atomic<bool> stringTrace;
// Set when an update run ended successfully: only then does Exit say so.
extern std::atomic<bool> updateInstalled;
