// Kestor's private messages from its worker threads to the main dialog, and
// what each parameter carries.
#pragma once

#include <windows.h>

// wParam 0, lParam 0: show the display texts and refresh the step list.
constexpr UINT WM_UPDATE_TEXTS = WM_APP + 1;
// wParam the total progress (of lParam, always 100).
constexpr UINT WM_UPDATE_TOTAL_PROGRESS = WM_APP + 2;
// wParam the step progress 0..10000, lParam a step code (vocabulary/step_codes.h),
// signed 16-bit in the low word.
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
