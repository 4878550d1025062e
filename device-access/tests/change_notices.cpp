// Corvel's change window on a bench: a device that leaves and returns
// reaches the window through the hardware port, as the system's notices
// would, and each move refreshes the device table once.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "benchctl/bench_control.h"
#include "hwport/usb_driver.h"
#include "lumetra/dll_functions.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

const char kTraceLog[] = "c:\\Corvel.log";

using IntFn = int(WINAPI*)(void);

std::string TraceLog() { return testsupport::ReadFileOr(kTraceLog, "<no log>"); }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// What the log says after `moves` device moves: one notice and one refresh
// per move, the refresh done ("Timer stop").
struct Refreshes {
  size_t notices, starts, stops;
  bool operator==(const Refreshes&) const = default;
};
Refreshes RefreshesIn(const std::string& log) {
  return {Count(log, "Device Change\r\n"), Count(log, "Timer start\r\n"),
          Count(log, "Timer stop\r\n")};
}

// Waits until the log shows `moves` refreshes; a bound that only a broken
// window reaches.
bool WaitForRefreshes(size_t moves) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 20000) {
    if (RefreshesIn(TraceLog()) == Refreshes{moves, moves, moves}) return true;
    Sleep(2);
  }
  return false;
}

// A window of this thread that counts the device-change notices the bench
// sends it. It asks for them after Corvel's window did, and the bench tells
// the windows in the order they asked, one after the other: once it has the
// notice of a move, Corvel's window has handled its own.
class LaterListener {
 public:
  LaterListener() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CorvelTestLaterListener";
    RegisterClassA(&wc);
    window_ =
        CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const GUID usbDevice = {
        0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
    notify_ = hwport::RegisterInterfaceNotices(window_, &usbDevice);
  }
  ~LaterListener() {
    if (notify_) hwport::UnregisterInterfaceNotices(notify_);
    DestroyWindow(window_);
  }
  bool Listening() const { return notify_ != nullptr; }
  // Serves this thread's messages until the window has had `count` notices;
  // false after 20 s of the wall, a bound only a lost notice reaches.
  bool WaitForNotices(size_t count) {
    DWORD start = GetTickCount();
    while (notices_ < count && GetTickCount() - start < 20000) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      if (notices_ < count) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return notices_ >= count;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
      ++reinterpret_cast<LaterListener*>(GetWindowLongPtrA(window, GWLP_USERDATA))->notices_;
      return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  HDEVNOTIFY notify_ = nullptr;
  size_t notices_ = 0;
};

// The device lines of the last refresh in the log.
std::string LastRefresh(const std::string& log) {
  size_t at = log.rfind("Timer start");
  return at == std::string::npos ? std::string() : log.substr(at);
}

TEST(CorvelOnTheBench, ARemovalAndAnArrivalEachRefreshTheTableOnce) {
  ASSERT_TRUE(kBenchFromTheStart);
  testsupport::TestFolder folder;
  benchctl::BenchSpec spec;
  spec.Instrument(5, "1001");
  ASSERT_FALSE(benchctl::UseBench(folder.Path(), spec).empty());
  HMODULE corvel = LoadLibraryA((testsupport::ProgramDir() + "\\Corvel.dll").c_str());
  ASSERT_NE(nullptr, corvel);
  auto init = lm::ProcAddress<IntFn>(corvel, "LmLibInit");
  auto exit = lm::ProcAddress<IntFn>(corvel, "LmLibExit");
  ASSERT_TRUE(init && exit);
  ASSERT_EQ(0, init());
  ASSERT_EQ((Refreshes{0, 0, 0}), RefreshesIn(TraceLog()))
      << "the start refreshes without a notice";
  LaterListener later;
  ASSERT_TRUE(later.Listening());

  struct Move {
    const char* name;
    bool (*run)(int slot);
    bool deviceFound;
  };
  const Move moves[] = {{"removal", &benchctl::RemoveDevice, false},
                        {"arrival", &benchctl::ArriveDevice, true}};
  // The bench sends its notices for the USB device class only, one per move.
  size_t done = 0;
  for (const Move& move : moves) {
    ASSERT_TRUE(move.run(0)) << move.name;
    ++done;
    ASSERT_TRUE(later.WaitForNotices(done)) << move.name;
    EXPECT_TRUE(WaitForRefreshes(done)) << move.name << ":\n" << TraceLog();
    EXPECT_EQ(
        move.deviceFound,
        LastRefresh(TraceLog()).find("Device found: VID: 0xe7b, PID: 0x5") != std::string::npos)
        << move.name << ":\n"
        << TraceLog();
  }

  EXPECT_EQ(0, exit());
  // The registrations went with the window: a later move reaches only the
  // listener, and Corvel's window would have had it before.
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  ASSERT_TRUE(later.WaitForNotices(3));
  EXPECT_EQ((Refreshes{2, 2, 2}), RefreshesIn(TraceLog()));
  FreeLibrary(corvel);
}

}  // namespace
