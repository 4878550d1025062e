// The library unit of Tessaro.dll: the five exports, what happens at load
// and unload, the three locks and the attach counters. Every export brackets
// its work with a start and an end line and lets no error out.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <string>

#include "form_binprog.h"
#include "loging.h"
#include "tessaro/device.h"
#include "tessaro/errors.h"
#include "tessaro/format_text.h"
#include "tessaro/plugins.h"
#include "tessaro/program_file.h"
#include "tessaro/program_status.h"
#include "tessaro/supply_modules.h"
#include "tessaro/utilities.h"

using namespace tessaro;

namespace {

CRITICAL_SECTION AttachLock;
CRITICAL_SECTION StatusLock;
CRITICAL_SECTION ProgramingLock;
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

std::string Message(const std::exception& e) { return e.what(); }

// Adds `delta` to a counter under AttachLock and logs old and new value.
void Count(int32_t& counter, int delta, const char* text) {
  EnterCriticalSection(&AttachLock);
  try {
    int32_t old = counter;
    if ((delta > 0 && old == INT32_MAX) || (delta < 0 && old == INT32_MIN))
      throw TessaroError("Integer overflow");
    counter = old + delta;
    Log("%s %d=>%d", {text, old, counter});
  } catch (const std::exception& e) {
    Log("%s: %s", {text, Message(e)});
  }
  LeaveCriticalSection(&AttachLock);
}

int32_t ProcessCount() {
  EnterCriticalSection(&AttachLock);
  int32_t n = ProcessAttachCount;
  LeaveCriticalSection(&AttachLock);
  return n;
}

}  // namespace

extern "C" {

int32_t WINAPI LogFile(uint16_t WhatDo) {
  int32_t result = 0;
  Log(">>> LogFile(WhatDo:%d) start of function", {WhatDo});
  try {
    result = TFormBinProg::LogFileAction(WhatDo);
  } catch (const std::exception& e) {
    Log("exception LogFile(WhatDo:%d): %s", {WhatDo, Message(e)});
  } catch (...) {
    Log("exception LogFile(WhatDo:%d): %s", {WhatDo, "unknown error"});
  }
  Log("<<< LogFile(WhatDo:%d) end of function, result = %d", {WhatDo, result});
  return result;
}

void WINAPI CloseIt() {
  Log(">>> CloseIt() start of function ");
  try {
    if (FormBinProg) {
      FormBinProg->Hide();
      FormBinProg->Close();
    }
  } catch (const std::exception& e) {
    // The box names the error that was caught.
    Log("exception CloseIt(): %s", {Message(e)});
    MessageBoxA(nullptr, e.what(), "GetLastError", MB_OK | MB_ICONINFORMATION);
  } catch (...) {
    Log("exception CloseIt(): %s", {"unknown error"});
    MessageBoxA(nullptr, "unknown error", "GetLastError", MB_OK | MB_ICONINFORMATION);
  }
  Log("<<< CloseIt() end of function");
}

int32_t WINAPI GetStatus() {
  EnterCriticalSection(&StatusLock);
  int32_t result = 0;
  Log(">>> GetStatus() start of function");
  try {
    result = static_cast<int32_t>(ProgramingState::StatusWord());
  } catch (const std::exception& e) {
    Log("exception GetStaus(): %s", {Message(e)});
  } catch (...) {
    Log("exception GetStaus(): %s", {"unknown error"});
  }
  Log("<<< GetStaus() end of function, result = %x ", {result});
  LeaveCriticalSection(&StatusLock);
  return result;
}

uint8_t WINAPI Programing(uint16_t VID, uint16_t PID, const char* SerialNumber,
                          const char* BinFileName) {
  EnterCriticalSection(&ProgramingLock);
  uint8_t result = 0;
  std::string serial, file;
  try {
    serial = Text(SerialNumber);
    file = Text(BinFileName);
    Log(">>> Programing(%x,%x,%s,%s) start of function ", {VID, PID, serial, file});
    result = StartProgramming(FormBinProg, VID, PID, file, serial) ? 1 : 0;
  } catch (const std::exception& e) {
    Log("exception Programing(%x,%x,%s,%s): %s", {VID, PID, serial, file, Message(e)});
    result = 0;
  } catch (...) {
    Log("exception Programing(%x,%x,%s,%s): %s", {VID, PID, serial, file, "unknown error"});
    result = 0;
  }
  Log("<<< Programing(%x,%x,%s,%s) end of function, result = %x ",
      {VID, PID, serial, file, result});
  LeaveCriticalSection(&ProgramingLock);
  return result;
}

void WINAPI ShowIt() {
  Log(">>> ShowIt() start of function");
  try {
    if (!FormBinProg) throw TessaroError("The window of the library is closed.");
    if (FormBinProg->Showing())
      FormBinProg->Hide();
    else
      FormBinProg->Show();
  } catch (const std::exception& e) {
    Log("exception ShowIt(): %s", {Message(e)});
  } catch (...) {
    Log("exception ShowIt(): %s", {"unknown error"});
  }
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
        InitializeCriticalSection(&AttachLock);
        InitializeCriticalSection(&StatusLock);
        InitializeCriticalSection(&ProgramingLock);
        GlobalLogger()->BindHook(UnitLogHook);
        EntryProcedure(reason, false);
        Log(">>> <<< DllMain() end of function");
        break;
      case DLL_PROCESS_DETACH: {
        bool processEnds = reserved != nullptr;
        EntryProcedure(reason, processEnds);
        if (!processEnds) delete OwnedForm;
        OwnedForm = nullptr;
        FormBinProg = nullptr;
        // At process end the form is not freed: empty its hooks all the same,
        // nothing may log into the freed logger.
        UnitLogHook.Clear();
        FormLogHook.Clear();
        ProgramFileLogHook.Clear();
        SupplyLogHook.Clear();
        PluginLogHook.Clear();
        TDevice::DefaultLog().Clear();
        UninstallLibraryWait();
        FreeGlobalLogger();
        DeleteCriticalSection(&ProgramingLock);
        DeleteCriticalSection(&StatusLock);
        DeleteCriticalSection(&AttachLock);
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
