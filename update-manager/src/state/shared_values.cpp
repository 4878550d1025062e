#include "state/shared_values.h"

std::atomic<HWND> theDialogWindow{nullptr};
std::atomic<int> ErrorTextIndex{0};
std::atomic<bool> waitCursorActive{false};
std::atomic<bool> exitRequested{false};
std::atomic<bool> g_bExitThreadDone{false};
std::atomic<bool> updateInstalled{false};
