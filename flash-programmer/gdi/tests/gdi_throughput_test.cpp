// Bulk throughput through the connection to a bench device whose link is
// modelled at full and at high speed. A measurement, not a timed test: it
// reports the rate reached against the link's modelled rate.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "benchctl/bench_control.h"
#include "hwport/port.h"
#include "tessaro/gdi.h"
#include "testsupport/testdir.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

TEST(GdiThroughput, BulkWritesAgainstTheModelledLink) {
  struct Link {
    const char* name;
    double rate;
    int packets;
  } links[] = {{"full", 19 * 64 * 1000.0, 150}, {"high", 13 * 512 * 8000.0, 6000}};
  for (const Link& l : links) {
    testsupport::TestFolder folder;
    benchctl::BenchSpec spec;
    spec.Instrument(5, "1").With("Link", l.name);
    ASSERT_FALSE(benchctl::UseBench(folder.Path(), spec).empty()) << hwport::BenchLoadError();
    TDeviceInfo info(0, 0x0E7B, 5);
    TGDI gdi(info, 1, 0, 1, 0, 0, 0);
    std::vector<uint8_t> payload(4092, 0x33);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < l.packets; ++i)
      gdi.WriteData(static_cast<uint16_t>(i), payload.data(), 4092);
    QueryPerformanceCounter(&end);
    double rate = 4096.0 * l.packets / Seconds(start, end);
    std::printf("%s speed: %.0f bytes/s of %.0f modelled (%.2f)\n", l.name, rate, l.rate,
                rate / l.rate);
    RecordProperty(std::string(l.name) + "_ratio", static_cast<int>(rate / l.rate * 1000));
  }
}

}  // namespace
}  // namespace tessaro
