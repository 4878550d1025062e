// The library unit of Tessaro.dll: the five exports, what happens at load
// and unload, the three locks and the attach counters. Every export brackets
// its work with a start and an end line and lets no error out.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <string>

#include "form_binprog.h"
#include "loging.h"
#include "lumetra/sync.h"
#include "start_programming.h"
#include "tessaro/command_interpreter.h"
#include "tessaro/device.h"
#include "tessaro/errors.h"
#include "tessaro/flash_operations.h"
#include "tessaro/format_text.h"
#include "tessaro/main_thread.h"
#include "tessaro/plugins.h"
#include "tessaro/program_file.h"
#include "tessaro/program_status.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"

using namespace tessaro;

namespace {

// Made before the entry point's attach and deleted after its detach.
lm::CriticalSection AttachLock;
lm::CriticalSection StatusLock;
lm::CriticalSection ProgramingLock;
lm::Event ProgramingLockLeft(lm::Event::Reset::Auto);  // set each time a job leaves the lock
int32_t ProcessAttachCount = 0;
int32_t ThreadAttachCount = 0;
LogHook UnitLogHook;
TFormBinProg* FormBinProg = nullptr;
TFormBinProg* OwnedForm = nullptr;  // the form object outlives its window until unload

void Log(const std::string& format, std::initializer_list<FormatArg> args = {}) {
  try {
    UnitLogHook(nullptr, format, args);
  } catch (...) {
    // A log line that cannot be written must not end the export.
  }
}

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// Adds `delta` to a counter under AttachLock and logs old and new value.
void Count(int32_t& counter, int delta, const char* text) {
  lm::Lock lock(AttachLock);
  try {
    int32_t old = counter;
    if ((delta > 0 && old == INT32_MAX) || (delta < 0 && old == INT32_MIN))
      throw TessaroError("Integer overflow");
    counter = old + delta;
    Log("%s %d=>%d", {text, old, counter});
  } catch (const std::exception& e) {
    Log("%s: %s", {text, e.what()});
  }
}

int32_t ProcessCount() {
  lm::Lock lock(AttachLock);
  return ProcessAttachCount;
}

// Holds ProgramingLock for its scope. While another thread's job holds it,
// the calling thread's window messages go through: that job writes to the
// library's window, which belongs to the thread that loaded the library, and
// cannot go on while that thread waits here deaf to them.
class ProgramingScope {
 public:
  ProgramingScope() {
    while (!ProgramingLock.TryEnter()) {
      // A quit message left in the queue would end every wait for input at
      // once: then only another thread's sent messages end it.
      DWORD wake = ProcessMessages() ? QS_ALLINPUT : QS_SENDMESSAGE;
      HANDLE left = ProgramingLockLeft.Handle();
      MsgWaitForMultipleObjects(1, &left, FALSE, INFINITE, wake);
    }
  }
  ~ProgramingScope() {
    ProgramingLock.Leave();
    ProgramingLockLeft.Set();
  }
  ProgramingScope(const ProgramingScope&) = delete;
  ProgramingScope& operator=(const ProgramingScope&) = delete;
};

// The one bracket of every export: its start line, its work, and for an
// error the line `exceptionHead` + the error's text (and `onError`); the
// export then gives `failed`. Nothing leaves it.
template <typename R, typename Body>
R Guarded(const std::string& start, const std::string& exceptionHead, R failed, Body body,
          void (*onError)(const char* text) = nullptr) {
  Log("%s", {start});
  auto fail = [&](const char* text) {
    Log("%s%s", {exceptionHead, text});
    if (onError) onError(text);
  };
  try {
    return body();
  } catch (const std::exception& e) {
    fail(e.what());
  } catch (...) {
    fail("unknown error");
  }
  return failed;
}

void ErrorBox(const char* text) {
  // The box names the error that was caught.
  MessageBoxA(nullptr, text, "GetLastError", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

extern "C" {

int32_t WINAPI LogFile(uint16_t WhatDo) {
  std::string call = FormatText("LogFile(WhatDo:%d)", {WhatDo});
  int32_t result = Guarded(">>> " + call + " start of function", "exception " + call + ": ", 0,
                           [&] { return TFormBinProg::LogFileAction(WhatDo); });
  Log("<<< %s end of function, result = %d", {call, result});
  return result;
}

void WINAPI CloseIt() {
  Guarded(
      ">>> CloseIt() start of function ", "exception CloseIt(): ", 0,
      [] {
        if (FormBinProg) {
          FormBinProg->Hide();
          FormBinProg->Close();
        }
        return 0;
      },
      &ErrorBox);
  Log("<<< CloseIt() end of function");
}

int32_t WINAPI GetStatus() {
  lm::Lock lock(StatusLock);
  int32_t result = Guarded(">>> GetStatus() start of function", "exception GetStaus(): ", 0,
                           [] { return static_cast<int32_t>(LibraryJob().StatusWord()); });
  Log("<<< GetStaus() end of function, result = %x ", {result});
  return result;
}

uint8_t WINAPI Programing(uint16_t VID, uint16_t PID, const char* SerialNumber,
                          const char* BinFileName) {
  ProgramingScope lock;
  std::string serial = Text(SerialNumber), file = Text(BinFileName);
  std::string call = FormatText("Programing(%x,%x,%s,%s)", {VID, PID, serial, file});
  uint8_t result = Guarded(
      ">>> " + call + " start of function ", "exception " + call + ": ", uint8_t{0},
      [&] { return static_cast<uint8_t>(StartProgramming(VID, PID, file, serial) ? 1 : 0); });
  Log("<<< %s end of function, result = %x ", {call, result});
  return result;
}

void WINAPI ShowIt() {
  Guarded(">>> ShowIt() start of function", "exception ShowIt(): ", 0, [] {
    if (!FormBinProg) throw TessaroError("The window of the library is closed.");
    if (FormBinProg->Showing())
      FormBinProg->Hide();
    else
      FormBinProg->Show();
    return 0;
  });
  Log("<<< ShowIt() end of function");
}

}  // extern "C"

namespace {

void EntryProcedure(DWORD reason, bool processEnds) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      try {
        OwnedForm = TFormBinProg::CreateSelfDestroying(&FormBinProg);
      } catch (...) {
        OwnedForm = nullptr;
      }
      Count(ProcessAttachCount, +1,
            ">>> dll_Process_Attach after TFormBinProg.CreateSelfDestroying( Application, "
            "@FormBinProg )");
      Log("<<< dll_Process_Attach %d", {ProcessCount()});
      break;
    case DLL_PROCESS_DETACH:
      Log(">>> dll_Process_Detach %d", {ProcessCount()});
      // At process end other threads are gone and windows go with the process.
      if (!processEnds) CloseIt();
      Count(ProcessAttachCount, -1, "<<< dll_Process_Detach");
      break;
    case DLL_THREAD_ATTACH:
      Count(ThreadAttachCount, +1, "dll_Thread_Attach");
      break;
    case DLL_THREAD_DETACH:
      Count(ThreadAttachCount, -1, "dll_Thread_Detach");
      break;
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  try {
    switch (reason) {
      case DLL_PROCESS_ATTACH:
        CreateGlobalLogger();
        InstallLibraryWait();
        GlobalLogger()->BindHook(UnitLogHook);
        GlobalLogger()->BindHook(FlashLog());
        SetCommandRunner(&RunProgramCommands);
        EntryProcedure(reason, false);
        Log(">>> <<< DllMain() end of function");
        break;
      case DLL_PROCESS_DETACH: {
        bool processEnds = reserved != nullptr;
        EntryProcedure(reason, processEnds);
        if (!processEnds) {
          delete OwnedForm;
          MainThreadSync::Free();
        }
        OwnedForm = nullptr;
        FormBinProg = nullptr;
        // At process end the form is not freed: empty its hooks all the same,
        // nothing may log into the freed logger.
        UnitLogHook.Clear();
        FlashLog().Clear();
        SetCommandRunner(nullptr);
        FormLogHook.Clear();
        ProgramFileLogHook.Clear();
        SupplyLogHook.Clear();
        PluginLogHook.Clear();
        TDevice::DefaultLog().Clear();
        UninstallLibraryWait();
        FreeGlobalLogger();
        break;
      }
      default:
        EntryProcedure(reason, false);
        break;
    }
  } catch (...) {
    // Nothing may leave the entry point.
  }
  return TRUE;
}
