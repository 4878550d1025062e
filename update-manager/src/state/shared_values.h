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
// Arms (wParam 1, lParam the wall milliseconds) or disarms (wParam 0) the
// MMI response timer: a timer belongs to its window's thread, so the device
// side asks the dialog instead of setting it from its own thread.
constexpr UINT WM_UPDATE_MMI_TIMER = WM_APP + 7;

// The dialog's timer for a device that does not answer an MMI packet.
constexpr UINT_PTR IDT_MMI_RESPONSE = 0x8007;

enum CancelStateValue : int {
  CANCEL_STATE_RUNNING = 0,
  CANCEL_STATE_REQUESTED = 1,
  CANCEL_STATE_IDLE = 2,
  CANCEL_STATE_STOPPED = 3
};

// What ErrorTextIndex selects: the language text ErrorText<n>, 0 none.
enum ErrorTextId : int {
  ERRTEXT_NONE = 0,
  ERRTEXT_PACKAGE_INVALID = 1,
  ERRTEXT_NO_WINDOWS = 2,
  ERRTEXT_NO_USB_PORT = 3,
  ERRTEXT_NO_USB_NOR_WINDOWS = 4,
  ERRTEXT_NO_DRIVER = 5,
  ERRTEXT_NO_DEVICE = 6,
  ERRTEXT_SEVERAL_DEVICES = 7,
  ERRTEXT_WRONG_DEVICE = 8,
  ERRTEXT_COMMUNICATION = 9,
  ERRTEXT_RELEASE_EXCLUDED = 10,
  ERRTEXT_SERIAL_EXCLUDED = 11,
  ERRTEXT_SAME_RELEASE = 12,    // a warning
  ERRTEXT_NEWER_FIRMWARE = 13,  // a warning: the update may go on
  ERRTEXT_DISCONNECTED = 14,
  ERRTEXT_CANCELLED = 15,
  ERRTEXT_UPDATE_FAILED = 16,
  ERRTEXT_DRIVER_INSTALL = 17,
  ERRTEXT_LAST = ERRTEXT_DRIVER_INSTALL
};

extern std::atomic<HWND> theDialogWindow;
extern std::atomic<int> ErrorTextIndex;  // an ErrorTextId
extern std::atomic<bool> waitCursorActive;
extern std::atomic<bool> exitRequested;
extern std::atomic<bool> g_bExitThreadDone;
extern std::atomic<bool> automaticUpdate;
extern std::atomic<bool> stringTrace;
// Set when an update run ended successfully: only then does Exit say so.
extern std::atomic<bool> updateInstalled;
