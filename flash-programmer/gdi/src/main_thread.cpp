#include "tessaro/main_thread.h"

#include <atomic>

#include "hwport/clock.h"
#include "tessaro/run_events.h"

namespace tessaro {
namespace {

constexpr UINT kWakeMessage = WM_APP + 0x51;
constexpr char kSyncClass[] = "TessaroMainThreadSync";

LRESULT CALLBACK SyncWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWakeMessage) {
    MainThreadSync::Instance().CheckSynchronize();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The wait the connection waits with: the library's context installs the
// platform's wait, a layer above this one, at load and removes it at unload.
WaitFunction g_wait = &PumpingWait;

}  // namespace

HINSTANCE LibraryInstance() {
  // The module this code lies in (the library, not the host program).
  MEMORY_BASIC_INFORMATION info{};
  if (!VirtualQuery(reinterpret_cast<const void*>(&SyncWindowProc), &info, sizeof info))
    return GetModuleHandleA(nullptr);
  return static_cast<HINSTANCE>(info.AllocationBase);
}

struct MainThreadSync::Job {
  const std::function<void()>* work;
  HANDLE done;
  Job* next = nullptr;
};

namespace {
// Made at the first use and freed with the library; reader threads may
// outlive statics.
std::atomic<MainThreadSync*> g_sync{nullptr};
}  // namespace

MainThreadSync& MainThreadSync::Instance() {
  MainThreadSync* sync = g_sync.load();
  if (sync) return *sync;
  auto* made = new MainThreadSync;
  if (g_sync.compare_exchange_strong(sync, made)) return *made;
  delete made;  // another thread made it first
  return *sync;
}

void MainThreadSync::Free() {
  MainThreadSync* sync = g_sync.exchange(nullptr);
  if (!sync) return;
  sync->Release();
  delete sync;
}

MainThreadSync::MainThreadSync() : wake_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

MainThreadSync::~MainThreadSync() {
  if (wake_) CloseHandle(wake_);
}

void MainThreadSync::BindMainThread() {
  DWORD self = GetCurrentThreadId();
  if (mainThread_ == self && window_) return;
  mainThread_ = self;
  // Registered under the library's own instance: a host that frees the
  // library and loads it again elsewhere gets a class with the new procedure.
  WNDCLASSA wc{};
  wc.lpfnWndProc = SyncWindowProc;
  wc.hInstance = LibraryInstance();
  wc.lpszClassName = kSyncClass;
  RegisterClassA(&wc);
  // A message-only window of the main thread: any message loop there serves
  // the handed-over transfers.
  window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
}

void MainThreadSync::Release() {
  HWND window;
  {
    lm::Lock lock(lock_);
    window = window_;
    window_ = nullptr;
    mainThread_ = 0;
  }
  if (window && !DestroyWindow(window))
    // Another thread's window: it must not call into code that is going away.
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
  UnregisterClassA(kSyncClass, LibraryInstance());
}

bool MainThreadSync::Run(const std::function<void()>& job, HANDLE stop) {
  if (GetCurrentThreadId() == mainThread_ || mainThread_ == 0) {
    job();
    return true;
  }
  Job j{&job, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  if (HWND window = Queue(&j)) PostMessageA(window, kWakeMessage, 0, 0);

  HANDLE waits[2] = {j.done, stop};
  DWORD r = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, INFINITE);
  bool finished = true;
  if (r != WAIT_OBJECT_0) {
    // Stopped: withdraw the job unless the main thread has it already.
    // Running now: it ends soon. Either way the caller is told it was
    // stopped, since the stop signal is used up by this wait.
    if (!Withdraw(&j)) WaitForSingleObject(j.done, INFINITE);
    finished = false;
  }
  CloseHandle(j.done);
  return finished;
}

void MainThreadSync::CheckSynchronize() {
  if (GetCurrentThreadId() != mainThread_) return;
  for (;;) {
    Job* j = TakeFirst();
    if (!j) return;
    // The reader is released even when the work raises: it would wait for
    // it forever, and so would whoever stops it.
    try {
      (*j->work)();
    } catch (...) {
      SetEvent(j->done);
      throw;
    }
    SetEvent(j->done);
  }
}

HWND MainThreadSync::Queue(Job* job) {
  lm::Lock lock(lock_);
  if (last_)
    last_->next = job;
  else
    first_ = job;
  last_ = job;
  SetEvent(wake_);
  return window_;
}

bool MainThreadSync::Withdraw(Job* job) {
  lm::Lock lock(lock_);
  Job* prev = nullptr;
  for (Job* p = first_; p; prev = p, p = p->next)
    if (p == job) {
      if (prev)
        prev->next = p->next;
      else
        first_ = p->next;
      if (last_ == p) last_ = prev;
      return true;
    }
  return false;
}

size_t MainThreadSync::Waiting() {
  lm::Lock lock(lock_);
  size_t n = 0;
  for (Job* p = first_; p; p = p->next) ++n;
  return n;
}

MainThreadSync::Job* MainThreadSync::TakeFirst() {
  lm::Lock lock(lock_);
  Job* j = first_;
  if (j) {
    first_ = j->next;
    if (!first_) last_ = nullptr;
  }
  if (!first_) ResetEvent(wake_);
  return j;
}

void SetWaitFunction(WaitFunction wait) { g_wait = wait ? wait : &PumpingWait; }

void LibraryWait(DWORD ms) { g_wait(ms); }

void PumpingWait(DWORD ms) {
  MainThreadSync& sync = MainThreadSync::Instance();
  if (sync.MainThreadId() != 0 && sync.MainThreadId() != GetCurrentThreadId()) {
    // Only the main thread serves the readers; another thread just waits.
    hwport::Sleep(ms);
    return;
  }
  DWORD start = hwport::TickCount();
  for (;;) {
    sync.CheckSynchronize();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    sync.CheckSynchronize();
    DWORD elapsed = hwport::TickCount() - start;
    if (elapsed >= ms) return;
    HANDLE wake = sync.WakeEvent();
    hwport::MsgWaitForObjects(1, &wake, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

void ShowLibraryError(const char* text) { LibraryAsk({text, "Error", MB_OK | MB_ICONERROR}); }

}  // namespace tessaro
