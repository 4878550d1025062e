// Values shared by the states, the dialog and the device updater. Several
// threads read and write them, so each is atomic.
#pragma once

#include <windows.h>

#include <atomic>

#include "device/command_line.h"
#include "vocabulary/cancel_token.h"
#include "vocabulary/worker_messages.h"

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
// Set when an update run ended successfully: only then does Exit say so.
extern std::atomic<bool> updateInstalled;
