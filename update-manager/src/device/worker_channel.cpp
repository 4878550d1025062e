#include "device/worker_channel.h"

bool WorkerChannel::SetWindow(HWND window) {
  if (window == nullptr) return false;
  window_ = window;
  return true;
}

bool WorkerChannel::PostToWindow(UINT message, WPARAM wParam, LPARAM lParam) const {
  HWND window = window_.load();
  return window != nullptr && PostMessageA(window, message, wParam, lParam) != FALSE;
}
