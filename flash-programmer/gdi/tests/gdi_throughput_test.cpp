// Bulk throughput through the connection to a bench device whose link is
// modelled at full and at high speed. A measurement, not a timed test: it
// reports the rate reached against the link's modelled rate, and apart from
// it what one write costs the bench alone and the connection alone on a link
// that takes no time, so a low rate can be laid at the right door.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "benchctl/bench_control.h"
#include "hwport/port.h"
#include "hwport/usb_driver.h"
#include "tessaro/gdi.h"
#include "testsupport/testdir.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

constexpr uint16_t kPayload = 4092;
constexpr uint32_t kPacket = kPayload + 4;

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename Body>
double SecondsFor(Body body) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  body();
  QueryPerformanceCounter(&end);
  return Seconds(start, end);
}

class GdiThroughput : public ::testing::Test {
 protected:
  void Use(const char* link) {
    benchctl::BenchSpec spec;
    spec.Instrument(5, "1");
    if (link) spec.With("Link", link);
    ASSERT_FALSE(benchctl::UseBench(folder_.Path(), spec).empty()) << hwport::BenchLoadError();
  }
  testsupport::TestFolder folder_;
  std::vector<uint8_t> payload_ = std::vector<uint8_t>(kPayload, 0x33);
};

TEST_F(GdiThroughput, WhatOneWriteCostsTheBenchAndTheConnection) {
  // Writes of the bench alone and through the connection take turns, each
  // timed on its own; the medians leave out the writes during which other
  // programs had the processor.
  constexpr int kPackets = 2000;
  Use(nullptr);
  TDeviceInfo info(0, 0x0E7B, 5);
  TGDI gdi(info, 1, 0, 1, 0, 0, 0);
  // The bench alone: the port's write on a bound pipe, one OVERLAPPED reused.
  TUsbDrvPipe pipe;
  ASSERT_EQ(0u, pipe.BindEndpoint(0, EP_DATA_OUT, nullptr, nullptr));
  std::vector<uint8_t> packet(kPacket, 0x33);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::vector<double> bench, total;
  for (int i = 0; i < kPackets; ++i) {
    bench.push_back(SecondsFor([&] {
      DWORD n = 0;
      if (!hwport::DriverWrite(pipe.Handle, packet.data(), kPacket, &n, &ov))
        hwport::DriverOverlappedResult(pipe.Handle, &ov, &n, TRUE);
    }));
    total.push_back(
        SecondsFor([&] { gdi.WriteData(static_cast<uint16_t>(i), payload_.data(), kPayload); }));
  }
  CloseHandle(ov.hEvent);
  auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2] * 1e6;
  };
  double benchUs = median(bench), totalUs = median(total);
  std::printf(
      "one write on a link that takes no time (median): %.1f us through the connection, of "
      "which the bench %.1f us\n",
      totalUs, benchUs);
  RecordProperty("write_us", static_cast<int>(totalUs));
  RecordProperty("bench_us", static_cast<int>(benchUs));
}

TEST_F(GdiThroughput, BulkWritesAgainstTheModelledLink) {
  struct Link {
    const char* name;
    double rate;
    int packets;
  } links[] = {{"full", 19 * 64 * 1000.0, 150}, {"high", 13 * 512 * 8000.0, 6000}};
  for (const Link& l : links) {
    Use(l.name);
    TDeviceInfo info(0, 0x0E7B, 5);
    TGDI gdi(info, 1, 0, 1, 0, 0, 0);
    double seconds = SecondsFor([&] {
      for (int i = 0; i < l.packets; ++i)
        gdi.WriteData(static_cast<uint16_t>(i), payload_.data(), kPayload);
    });
    double rate = kPacket * l.packets / seconds;
    std::printf("%s speed: %.0f bytes/s of %.0f modelled (%.2f)\n", l.name, rate, l.rate,
                rate / l.rate);
    RecordProperty(std::string(l.name) + "_ratio", static_cast<int>(rate / l.rate * 1000));
  }
}

}  // namespace
}  // namespace tessaro
