#include "change_watcher.h"

#include <dbt.h>

#include "device_table.h"
#include "hwport/clock.h"
#include "hwport/usb_driver.h"
#include "lumetra/module.h"
#include "trace_log.h"

namespace corvel {
namespace {

constexpr char kClassName[] = "LmDeviceChangeClass";
constexpr char kWindowName[] = "DeviceChangeWindow";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr DWORD kRefreshDelayMs = 100;

// GUID_DEVINTERFACE_USB_DEVICE and GUID_DEVINTERFACE_USB_HUB.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kUsbHubInterface = {
    0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};

TraceLog* g_log = nullptr;

// Through the hardware port, so a bench's arrivals and removals reach the
// window as the system's would.
HDEVNOTIFY RegisterInterface(HWND window, const GUID& interfaceClass) {
  return hwport::RegisterInterfaceNotices(window, &interfaceClass);
}

void Trace(const char* line) {
  if (g_log) g_log->Write(line, true);
}

}  // namespace

bool ChangeWatcher::RegisterWindowClass(HINSTANCE module) {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DeviceChangeWndProc;
  wc.hInstance = module;
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassA(&wc)) return false;
  module_ = module;
  classRegistered_ = true;
  return true;
}

bool ChangeWatcher::Start(HINSTANCE module, TraceLog* log) {
  module_ = module;
  g_log = log;
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!ready_) return false;
  // The loop thread keeps the module loaded until it has left its code.
  pinned_ = lm::PinModuleOf(reinterpret_cast<const void*>(&DeviceChangeWndProc));
  thread_ = CreateThread(nullptr, 0, MessageLoopThread, this, 0, &threadId_);
  if (!thread_) {
    if (pinned_) FreeLibrary(pinned_);
    pinned_ = nullptr;
    CloseHandle(ready_);
    ready_ = nullptr;
    return false;
  }
  // The thread says whether its window and registrations stand; when they
  // do not, it has ended already.
  hwport::WaitForObject(ready_, INFINITE);
  CloseHandle(ready_);
  ready_ = nullptr;
  if (started_) return true;
  hwport::WaitForObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
  pinned_ = nullptr;
  return false;
}

void ChangeWatcher::Stop() {
  if (thread_) {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    hwport::WaitForObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  pinned_ = nullptr;
  started_ = false;
  if (classRegistered_) UnregisterClassA(kClassName, module_);
  classRegistered_ = false;
  g_log = nullptr;
}

bool ChangeWatcher::CreateWindowAndRegister() {
  window_ = CreateWindowExA(0, kClassName, kWindowName, 0, 0, 0, 100, 100, nullptr, nullptr,
                            module_, nullptr);
  if (!window_) return false;
  usbDevice_ = RegisterInterface(window_, kUsbDeviceInterface);
  if (usbDevice_) usbHub_ = RegisterInterface(window_, kUsbHubInterface);
  return usbDevice_ && usbHub_;
}

void ChangeWatcher::Unregister() {
  if (usbDevice_) hwport::UnregisterInterfaceNotices(usbDevice_);
  if (usbHub_) hwport::UnregisterInterfaceNotices(usbHub_);
  usbDevice_ = usbHub_ = nullptr;
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
}

DWORD WINAPI ChangeWatcher::MessageLoopThread(void* param) {
  auto* self = static_cast<ChangeWatcher*>(param);
  // Makes the thread's message queue before anyone may post WM_QUIT to it.
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  self->started_ = self->CreateWindowAndRegister();
  if (!self->started_) self->Unregister();
  HMODULE pinned = self->pinned_;
  bool started = self->started_;
  SetEvent(self->ready_);
  if (started) {
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    self->Unregister();
  }
  if (pinned) FreeLibraryAndExitThread(pinned, 0);
  return 0;
}

LRESULT CALLBACK ChangeWatcher::DeviceChangeWndProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
  switch (message) {
    case WM_DEVICECHANGE: {
      auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
      if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
           wParam == DBT_DEVICEREMOVEPENDING) &&
          header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        // Restarting the timer on every notice refreshes once per burst.
        SetTimer(window, kRefreshTimer, hwport::RealMilliseconds(kRefreshDelayMs), nullptr);
        Trace("Device Change\n");
      }
      return 0;
    }
    case WM_TIMER:
      if (wParam == kRefreshTimer) {
        Trace("Timer start\n");
        KillTimer(window, kRefreshTimer);
        UpdateDeviceTable();
        Trace("Timer stop\n");
      }
      return 0;
    case WM_DESTROY:
    case WM_QUERYENDSESSION:
      // The end of the Windows session is refused while the window exists.
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace corvel
