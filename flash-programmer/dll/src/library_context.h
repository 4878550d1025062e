// The library in one context: what one load of Tessaro.dll owns. The entry
// point makes it at DLL_PROCESS_ATTACH (with new: a function's static would
// need a guard, and with it the thread library) and destroys it in one place
// at DLL_PROCESS_DETACH.
#pragma once

#include <cstdint>

#include "form_binprog.h"
#include "lumetra/sync.h"
#include "tessaro/log_hook.h"

namespace tessaro {

class LibraryContext {
 public:
  // The logger first (the attach writes to it), the library's wait, the
  // unit's and the flash operations' hooks bound, the interpreter as the
  // job's command runner.
  LibraryContext();
  // The form and the main thread's hand-over freed (not at process end,
  // where windows and threads go with the process), then every hook emptied
  // before the logger goes: nothing may log into the freed logger.
  ~LibraryContext();
  LibraryContext(const LibraryContext&) = delete;
  LibraryContext& operator=(const LibraryContext&) = delete;

  // The export's log line ("M" line of the library unit).
  void Log(const std::string& format, std::initializer_list<FormatArg> args = {});

  lm::CriticalSection attachLock;
  lm::CriticalSection statusLock;
  lm::CriticalSection programingLock;
  lm::Event programingLockLeft{lm::Event::Reset::Auto};  // set each time a job leaves the lock
  int32_t processAttachCount = 0;
  int32_t threadAttachCount = 0;
  TFormBinProg* form = nullptr;       // cleared when its window is destroyed
  TFormBinProg* ownedForm = nullptr;  // the form object outlives its window until unload
  bool processEnds = false;           // the detach is the process's end

 private:
  LogHook unitLog_;
};

}  // namespace tessaro
