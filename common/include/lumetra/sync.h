// Small RAII wrappers over the Win32 synchronisation objects the suite is
// built on: critical sections, events and threads. They exist because the
// shipped binaries use the compilers' win32 thread model (std::thread and
// std::mutex would pull in a thread library that imports functions Windows
// 2000 lacks), and they use nothing that Windows 2000 SP4 does not export.
#pragma once

#include <windows.h>
// after windows.h
#include <process.h>

#include <functional>
#include <memory>
#include <utility>

namespace lm {

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  bool TryEnter() { return TryEnterCriticalSection(&section_) != FALSE; }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// Holds a critical section for its scope.
class Lock {
 public:
  explicit Lock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~Lock() { section_.Leave(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CriticalSection& section_;
};

// Holds a critical section for its scope when it was free at once.
class TryLock {
 public:
  explicit TryLock(CriticalSection& section) : section_(section), held_(section.TryEnter()) {}
  ~TryLock() {
    if (held_) section_.Leave();
  }
  TryLock(const TryLock&) = delete;
  TryLock& operator=(const TryLock&) = delete;
  bool Held() const { return held_; }

 private:
  CriticalSection& section_;
  bool held_;
};

// A Win32 event; manual reset unless asked otherwise.
class Event {
 public:
  enum class Reset { Manual, Auto };
  explicit Event(Reset reset = Reset::Manual, bool signalled = false)
      : handle_(CreateEventA(nullptr, reset == Reset::Manual, signalled, nullptr)) {}
  ~Event() {
    if (handle_) CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set() { SetEvent(handle_); }
  void Clear() { ResetEvent(handle_); }
  // True when the event was signalled within `ms` (INFINITE allowed).
  bool Wait(DWORD ms) { return WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }
  bool IsSet() { return Wait(0); }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

// A thread running a function. The destructor waits for it to end: a thread
// that may hang must be joined with a bound (Join) and its work made to stop
// before the object goes.
class Thread {
 public:
  Thread() = default;
  explicit Thread(std::function<void()> body) { Start(std::move(body)); }
  ~Thread() {
    Join(INFINITE);
    Close();
  }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  Thread(Thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Thread& operator=(Thread&& other) noexcept {
    if (this != &other) {
      Join(INFINITE);
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  // False when the thread could not be made.
  bool Start(std::function<void()> body) {
    Join(INFINITE);
    Close();
    auto* owned = new std::function<void()>(std::move(body));
    unsigned id = 0;
    uintptr_t h = _beginthreadex(nullptr, 0, &Thread::Run, owned, 0, &id);
    if (h == 0) {
      delete owned;
      return false;
    }
    handle_ = reinterpret_cast<HANDLE>(h);
    return true;
  }
  bool Joinable() const { return handle_ != nullptr; }
  // True when the thread has ended within `ms` (or never ran).
  bool Join(DWORD ms) {
    if (!handle_) return true;
    if (WaitForSingleObject(handle_, ms) != WAIT_OBJECT_0) return false;
    Close();
    return true;
  }
  // Lets the thread run on by itself.
  void Detach() { Close(); }
  HANDLE Handle() const { return handle_; }

 private:
  static unsigned __stdcall Run(void* arg) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    (*body)();
    return 0;
  }
  void Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }

  HANDLE handle_ = nullptr;
};

}  // namespace lm
