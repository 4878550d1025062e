// A flash library for the tests of Kestor's firmware parts: Programing's result
// follows the program file's name ("ok..." done, anything else failed), every
// call is appended to the file named by SCRIPTED_FLASH_LOG, and GetStatus
// blocks while the event named by SCRIPTED_FLASH_HOLD exists unsignalled (at
// most 30 s), as a library that never returns from it. Programing returns only
// after GetStatus was asked once since the last call ended (at most 5 s), so
// that a poller started with the call is always seen asking.
#include <windows.h>

#include <cstdint>
#include <string>

namespace {

volatile LONG g_status = 0;
volatile LONG g_asked = 0;

std::string Env(const char* name) {
  char value[MAX_PATH] = "";
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Append(const std::string& line) {
  const std::string path = Env("SCRIPTED_FLASH_LOG");
  if (path.empty()) return;
  HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD put = 0;
  WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
  CloseHandle(f);
}

}  // namespace

extern "C" {

__declspec(dllexport) uint8_t WINAPI
    Programing(uint16_t vid, uint16_t pid, const char* serial, const char* file) {
  std::string name = file ? file : "";
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  Append("Programing " + std::to_string(vid) + " " + std::to_string(pid) + " " +
         (serial ? serial : "") + " " + name + "\n");
  for (int i = 0; i < 5000 && InterlockedCompareExchange(&g_asked, 0, 0) == 0; ++i) Sleep(1);
  InterlockedExchange(&g_asked, 0);
  const bool ok = name.compare(0, 2, "ok") == 0;
  InterlockedExchange(&g_status, ok ? 0x27100009 : 0x1388FFF1);
  return ok ? 1 : 0;
}

__declspec(dllexport) int32_t WINAPI GetStatus() {
  InterlockedIncrement(&g_asked);
  const std::string hold = Env("SCRIPTED_FLASH_HOLD");
  if (!hold.empty()) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str());
    if (event) {
      WaitForSingleObject(event, 30000);
      CloseHandle(event);
    }
  }
  return g_status;
}

}  // extern "C"
