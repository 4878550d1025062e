#include <windows.h>

#include <string>

#include "bench_core.h"
#include "bench_file.h"
#include "bench_state.h"
#include "lumetra/sync.h"

namespace bench {
namespace {
std::string g_benchFile;
}

const std::string& BenchFilePath() { return g_benchFile; }

std::string ReadSetting(const char* section, const char* key, const char* fallback) {
  return ReadBenchFile(g_benchFile).Get(section, key, fallback);
}

void InitClock();

}  // namespace bench

// Opens the bench on a bench file; returns 0 when the file does not exist.
// Opening again (a test's next bench file) starts over: earlier handles end.
extern "C" __declspec(dllexport) int BenchOpen(const char* benchFile) {
  if (!benchFile || GetFileAttributesA(benchFile) == INVALID_FILE_ATTRIBUTES) return 0;
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(benchFile, sizeof full, full, nullptr);
  bench::g_benchFile = (n > 0 && n < sizeof full) ? full : benchFile;
  bench::InitClock();
  return bench::Bench::Instance().Open(bench::g_benchFile) ? 1 : 0;
}

// The hardware port's first use in a module: each deliverable (Kestor.exe,
// Tessaro.dll, the qlinkx stand-in, ...) carries its own copy of the port, and
// all of them share this one bench in the process. Only the first opens it;
// later modules join it, so loading a library never ends the handles, pending
// transfers and notices that the modules loaded before it hold.
extern "C" __declspec(dllexport) int BenchAttach(const char* benchFile) {
  static lm::CriticalSection attachLock;
  lm::Lock guard(attachLock);
  if (!bench::g_benchFile.empty()) return bench::Bench::Instance().Refusal().empty() ? 1 : 0;
  return BenchOpen(benchFile);
}
