#include "hwport/port.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "hwport/backend.h"
#include "lumetra/dll_functions.h"
#include "lumetra/module.h"

namespace hwport {
namespace {

struct BenchBinding {
  HMODULE module = nullptr;
  Backend record{};
  char error[512] = "";
};

// The folder of the module holding this code (the deliverable), with a
// trailing backslash, so the bench is found beside the program.
void ThisModuleFolder(char* out, DWORD size) {
  out[0] = '\0';
  HMODULE self = lm::ModuleOf(reinterpret_cast<const void*>(&ThisModuleFolder));
  if (!self) return;
  DWORD n = GetModuleFileNameA(self, out, size);
  if (n == 0 || n >= size) {
    out[0] = '\0';
    return;
  }
  char* slash = std::strrchr(out, '\\');
  if (slash) slash[1] = '\0';
}

BenchBinding LoadBench() {
  BenchBinding b;
  char benchFile[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("LUMETRA_BENCH", benchFile, sizeof benchFile);
  if (n == 0) return b;
  if (n >= sizeof benchFile) {
    std::snprintf(b.error, sizeof b.error, "LUMETRA_BENCH is too long");
    return b;
  }
  // Only the bench beside the deliverable itself, never one the environment
  // names: a crafted environment must not run foreign code in a process with
  // the rights to switch host controllers. The release folder holds none.
  // A bench that another module of this process loaded from beside itself is
  // shared: one process, one bench.
  char path[MAX_PATH + 32];
  HMODULE loaded = GetModuleHandleA("LumetraBench.dll");
  DWORD known = loaded ? GetModuleFileNameA(loaded, path, MAX_PATH) : 0;
  if (known == 0 || known >= MAX_PATH) {
    ThisModuleFolder(path, MAX_PATH);
    if (path[0] == '\0') {
      std::snprintf(b.error, sizeof b.error, "cannot find this module's folder");
      return b;
    }
    std::strcat(path, "LumetraBench.dll");
  }
  HMODULE m = LoadLibraryA(path);
  if (!m) {
    std::snprintf(b.error, sizeof b.error, "cannot load %s (error %lu)", path, GetLastError());
    return b;
  }
  FillBackendFn fill = nullptr;
  int (*attach)(const char*) = nullptr;
  if (const char* missing =
          lm::BindFunctions(m, {{"BenchBackend", &fill}, {"BenchAttach", &attach}})) {
    std::snprintf(b.error, sizeof b.error, "%s has no %s", path, missing);
    FreeLibrary(m);
    return b;
  }
  // The record first: a bench built for another layout is not opened at all.
  if (!fill(kBackendAbi, &b.record) || b.record.abi != kBackendAbi) {
    std::snprintf(b.error, sizeof b.error, "%s is not built for backend version %lu", path,
                  static_cast<unsigned long>(kBackendAbi));
    FreeLibrary(m);
    return b;
  }
  CompleteBackend(b.record);
  // Attach, not open: another module of this process may have opened the
  // bench already, and opening again would end everything it holds.
  if (!attach(benchFile)) {
    auto refusal = lm::ProcAddress<const char* (*)()>(m, "BenchRefusal");
    std::snprintf(b.error, sizeof b.error, "bench refused bench file %s: %s", benchFile,
                  refusal ? refusal() : "");
    FreeLibrary(m);
    return b;
  }
  b.module = m;
  return b;
}

// Bound once, at the first call, even with several threads. Not a
// function-local static: its guard makes the C++ runtime create a lock in
// each module that links the port, and a library's lock is never freed, so
// every load of the library would leave one behind.
BenchBinding g_binding;
std::atomic<LONG> g_bound{0};  // 0: not yet, 1: binding now, 2: bound

BenchBinding& Binding() {
  if (g_bound.load(std::memory_order_acquire) == 2) return g_binding;
  LONG unbound = 0;
  if (g_bound.compare_exchange_strong(unbound, 1)) {
    g_binding = LoadBench();
    g_bound.store(2, std::memory_order_release);
  }
  while (g_bound.load(std::memory_order_acquire) != 2) Sleep(1);
  return g_binding;
}

}  // namespace

bool BenchActive() { return Binding().module != nullptr; }

const Backend& ActiveBackend() {
  const BenchBinding& b = Binding();
  return b.module ? b.record : Win32Backend();
}

FARPROC BenchEntry(const char* name) { return lm::ProcAddress<FARPROC>(Binding().module, name); }

const char* BenchLoadError() {
  // A bench file opened later (a test's next one) may have been refused too.
  if (auto refusal = BenchFunction<const char* (*)()>("BenchRefusal"); refusal && *refusal())
    return refusal();
  return Binding().error;
}

}  // namespace hwport
