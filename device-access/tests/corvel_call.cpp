// Calls Corvel's exports as another program binds them: the library loaded
// by path, each export taken by name at its first call.
//   corvel_call <Corvel.dll> <result file> <call>...
// A call is an export name, with ":argument" for LmFindInstalledDriver
// (a number) and LmInstallDriver / LmUninstallDriver (an INF path). Each
// result goes into the result file as "<call>=<result>" on a line of its own.
// The call "HoldMutex" holds Corvel's mutex "CorvelDll" as another process
// of the library would: it signals the named event "CorvelTestMutexHeld"
// once it holds it and lets go when "CorvelTestMutexRelease" is signalled.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "lumetra/dll_functions.h"

namespace {

using NoArgs = int(WINAPI*)(void);
using NumberArg = int(WINAPI*)(DWORD);
using TextArg = int(WINAPI*)(const char*);

FARPROC Bind(HMODULE corvel, const std::string& name) {
  FARPROC entry = lm::ProcAddress<FARPROC>(corvel, name.c_str());
  if (!entry) {
    std::fprintf(stderr, "corvel_call: no export %s\n", name.c_str());
    std::exit(3);
  }
  return entry;
}

// 0 when the mutex was held and let go again on request.
int HoldMutex() {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "CorvelDll");
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, "CorvelTestMutexHeld");
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "CorvelTestMutexRelease");
  if (!mutex || !held || !release) return 1;
  if (WaitForSingleObject(mutex, 60000) != WAIT_OBJECT_0) return 2;
  SetEvent(held);
  DWORD wait = WaitForSingleObject(release, 60000);
  ReleaseMutex(mutex);
  CloseHandle(release);
  CloseHandle(held);
  CloseHandle(mutex);
  return wait == WAIT_OBJECT_0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HMODULE corvel = LoadLibraryA(argv[1]);
  if (!corvel) return 4;
  FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 5;
  for (int i = 3; i < argc; ++i) {
    std::string call = argv[i];
    size_t colon = call.find(':');
    std::string name = call.substr(0, colon);
    std::string arg = colon == std::string::npos ? "" : call.substr(colon + 1);
    if (name == "HoldMutex") {
      std::fprintf(out, "%s=%d\r\n", call.c_str(), HoldMutex());
      continue;
    }
    FARPROC entry = Bind(corvel, name);
    int result;
    if (name == "LmFindInstalledDriver")
      result = reinterpret_cast<NumberArg>(reinterpret_cast<void*>(entry))(
          static_cast<DWORD>(std::strtoul(arg.c_str(), nullptr, 0)));
    else if (name == "LmInstallDriver" || name == "LmUninstallDriver")
      result = reinterpret_cast<TextArg>(reinterpret_cast<void*>(entry))(arg.c_str());
    else
      result = reinterpret_cast<NoArgs>(reinterpret_cast<void*>(entry))();
    std::fprintf(out, "%s=%d\r\n", call.c_str(), result);
  }
  std::fclose(out);
  FreeLibrary(corvel);
  return 0;
}
