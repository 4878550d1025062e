// The change window "DeviceChangeWindow": it hears USB device arrivals and
// removals and refreshes the device table 100 ms after the last notice of a
// burst. The window lives on a thread of its own that runs its message loop,
// because a window's messages reach only the thread that created it.
#pragma once

#include <windows.h>

namespace corvel {

class TraceLog;

class ChangeWatcher {
 public:
  ChangeWatcher() = default;
  ~ChangeWatcher() { Stop(); }
  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

  // Registers the window class; false when that fails.
  bool RegisterWindowClass(HINSTANCE module);
  // Creates the window, registers both device-interface notifications and
  // starts the message loop. False when the window or a registration fails;
  // there is no watcher then.
  bool Start(HINSTANCE module, TraceLog* log);
  // Ends the loop, unregisters the notifications, destroys the window and
  // unregisters the class. Does nothing for what was not set up.
  void Stop();

 private:
  static DWORD WINAPI MessageLoopThread(void* self);
  static LRESULT CALLBACK DeviceChangeWndProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);
  // Runs on the loop thread: window and registrations; false when one fails.
  bool CreateWindowAndRegister();
  void Unregister();

  HINSTANCE module_ = nullptr;
  bool classRegistered_ = false;
  HWND window_ = nullptr;
  HDEVNOTIFY usbDevice_ = nullptr;
  HDEVNOTIFY usbHub_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE ready_ = nullptr;
  // The loop thread's reference to the module holding its code, dropped as
  // the thread ends.
  HMODULE pinned_ = nullptr;
  bool started_ = false;
};

}  // namespace corvel
