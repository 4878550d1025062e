// The bench's clock: it runs TimeScale times faster than the wall, the same
// on every thread and in every process that opened a bench file with that
// scale, so a 2-minute time-out of a deliverable passes in a second or two.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "bench_state.h"

namespace bench {
namespace {

double g_scale = 1.0;

uint64_t WallMicroseconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint64_t>(now.QuadPart) * 1000000ull /
         static_cast<uint64_t>(frequency.QuadPart);
}

}  // namespace

void InitClock() {
  double scale = std::atof(ReadSetting("Bench", "TimeScale", "1").c_str());
  g_scale = scale >= 1.0 ? scale : 1.0;
}

double TimeScale() { return g_scale; }

}  // namespace bench

// The clock of the port's backend record (bench_backend.cpp).
extern "C" DWORD BenchTickCount() {
  return static_cast<DWORD>(static_cast<double>(bench::WallMicroseconds()) * bench::g_scale /
                            1000.0);
}

extern "C" DWORD BenchRealMilliseconds(DWORD ms) {
  return static_cast<DWORD>(static_cast<double>(ms) / bench::g_scale + 0.5);
}
