// The library unit of Tessaro.dll: the five exports and what happens at load
// and unload. Every export brackets its work with a start and an end line and
// lets no error out.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <string>

#include "library_context.h"
#include "programming_job.h"
#include "start_programming.h"
#include "tessaro/errors.h"
#include "tessaro/format_text.h"
#include "tessaro/utilities.h"

using namespace tessaro;

namespace {

// The context of this load: made by the entry point's attach, deleted by its
// detach. The exports and the entry point reach it through this one pointer.
LibraryContext* Library = nullptr;

void Log(const std::string& format, std::initializer_list<FormatArg> args = {}) {
  Library->Log(format, args);
}

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// Adds `delta` to a counter under the attach lock and logs old and new value.
void Count(int32_t& counter, int delta, const char* text) {
  lm::Lock lock(Library->attachLock);
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
  lm::Lock lock(Library->attachLock);
  return Library->processAttachCount;
}

// Holds the programing lock for its scope. While another thread's job holds it,
// the calling thread's window messages go through: that job writes to the
// library's window, which belongs to the thread that loaded the library, and
// cannot go on while that thread waits here deaf to them.
class ProgramingScope {
 public:
  ProgramingScope() {
    while (!Library->programingLock.TryEnter()) {
      // A quit message left in the queue would end every wait for input at
      // once: then only another thread's sent messages end it.
      DWORD wake = ProcessMessages() ? QS_ALLINPUT : QS_SENDMESSAGE;
      HANDLE left = Library->programingLockLeft.Handle();
      MsgWaitForMultipleObjects(1, &left, FALSE, INFINITE, wake);
    }
  }
  ~ProgramingScope() {
    Library->programingLock.Leave();
    Library->programingLockLeft.Set();
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
        if (TFormBinProg* form = Library->form) {
          form->Hide();
          form->Close();
        }
        return 0;
      },
      &ErrorBox);
  Log("<<< CloseIt() end of function");
}

int32_t WINAPI GetStatus() {
  lm::Lock lock(Library->statusLock);
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
    TFormBinProg* form = Library->form;
    if (!form) throw TessaroError("The window of the library is closed.");
    if (form->Showing())
      form->Hide();
    else
      form->Show();
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
        Library->ownedForm = TFormBinProg::CreateSelfDestroying(&Library->form);
      } catch (...) {
        Library->ownedForm = nullptr;
      }
      Count(Library->processAttachCount, +1,
            ">>> dll_Process_Attach after TFormBinProg.CreateSelfDestroying( Application, "
            "@FormBinProg )");
      Log("<<< dll_Process_Attach %d", {ProcessCount()});
      break;
    case DLL_PROCESS_DETACH:
      Log(">>> dll_Process_Detach %d", {ProcessCount()});
      // At process end other threads are gone and windows go with the process.
      if (!processEnds) CloseIt();
      Count(Library->processAttachCount, -1, "<<< dll_Process_Detach");
      break;
    case DLL_THREAD_ATTACH:
      Count(Library->threadAttachCount, +1, "dll_Thread_Attach");
      break;
    case DLL_THREAD_DETACH:
      Count(Library->threadAttachCount, -1, "dll_Thread_Detach");
      break;
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  try {
    switch (reason) {
      case DLL_PROCESS_ATTACH:
        Library = new LibraryContext;
        EntryProcedure(reason, false);
        Log(">>> <<< DllMain() end of function");
        break;
      case DLL_PROCESS_DETACH: {
        bool processEnds = reserved != nullptr;
        EntryProcedure(reason, processEnds);
        Library->processEnds = processEnds;
        // The one place the load's context goes.
        delete Library;
        Library = nullptr;
        break;
      }
      default:
        if (Library) EntryProcedure(reason, false);
        break;
    }
  } catch (...) {
    // Nothing may leave the entry point.
  }
  return TRUE;
}
