// Not a timed test: prints how long one Programing call takes for a 1 MiB
// image (erase, program, verify) beside the time the bench's device model
// and the modelled full-speed link account for, with the device's busy
// times zero and realistic.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "../host_fixture.h"
#include "benchctl/bench_control.h"
#include "hwport/port.h"

using namespace tessaro_e2e;

namespace {

const bool kBench = benchctl::BenchFromTheStart();
constexpr DWORD kLongestRunMs = 240000;

double Ms(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

struct Busy {
  const char* name;
  int eraseMs, programMs, verifyMs;  // per sector, per block, per block
};

// Wall time of one host run of `file`; its Programing result.
double TimedRun(HostFolder& host, const std::string& file, std::string* result) {
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  size_t before = host.Values("prog").size();
  // LUMETRA_BENCHMARK_NOFORM: the window closed first, to see what it costs.
  bool noForm = GetEnvironmentVariableA("LUMETRA_BENCHMARK_NOFORM", nullptr, 0) > 0;
  std::vector<std::string> actions = {"load", "prog:0x0E7B:6:2001:" + file, "free"};
  if (noForm) actions.insert(actions.begin() + 1, "close");
  // A figure, not a time limit: a loaded machine may take long.
  testsupport::ChildProcess child;
  if (host.Start(child, actions) && !child.Wait(kLongestRunMs)) child.Kill();
  QueryPerformanceCounter(&t1);
  std::vector<std::string> r = host.Values("prog");
  *result = r.size() > before ? r.back() : "";
  return Ms(t0, t1);
}

// 1 MiB unless LUMETRA_BENCHMARK_BYTES says otherwise.
size_t BenchmarkBytes() {
  char text[32] = {};
  if (GetEnvironmentVariableA("LUMETRA_BENCHMARK_BYTES", text, sizeof text) > 0)
    return static_cast<size_t>(std::strtoul(text, nullptr, 0));
  return 1u << 20;
}

}  // namespace

TEST(ProgramingBenchmark, OneMegabyteImageAgainstTheModelledDeviceAndLink) {
  tessaro_test::ProgramFileSpec spec = tessaro_test::LargeProgramFileSpec(BenchmarkBytes());
  spec.pid = 6;
  spec.flash.pollPeriod = 2;
  spec.selectedSectors.clear();
  for (size_t i = 0; i < spec.flash.sectors.size(); ++i)
    spec.selectedSectors.push_back(static_cast<uint16_t>(i));
  size_t bytes = 0;
  for (const auto& b : spec.blocks) bytes += b.data.size();
  const size_t sectors = spec.flash.sectors.size(), blocks = spec.blocks.size();
  // A full-speed link: 19 packets of 64 bytes each millisecond; the image
  // crosses it twice (program, verify).
  const double linkMs = 2.0 * bytes / (19 * 64);

  const Busy rows[] = {{"busy times zero", 0, 0, 0}, {"realistic busy times", 250, 8, 2}};
  for (const Busy& busy : rows) {
    HostFolder host;
    benchctl::BenchSpec bench;
    bench.TimeScale(1).Instrument(6, "2001");
    bench.With("Link", "full")
        .With("FlashSize", std::to_string(sectors * 0x10000))
        .With("FlashSectorSize", "0x10000")
        .With("FlashBase", "0x400000")
        .With("FlashDeviceId", "0x22AB");
    for (const char* c : {"0320", "0331", "0340", "0350"})
      bench.With(std::string("FlashBusyPolls.") + c, "0");
    bench.With("FlashBusyMs.0331", std::to_string(busy.eraseMs))
        .With("FlashBusyMs.0340", std::to_string(busy.programMs))
        .With("FlashBusyMs.0350", std::to_string(busy.verifyMs));
    ASSERT_FALSE(benchctl::UseBench(host.Path(), bench).empty()) << hwport::BenchLoadError();

    // The same host with a job that only opens and closes: what loading
    // the library, reading the file and the process cost.
    tessaro_test::ProgramFileSpec empty = spec;
    empty.commands = {10, 11};
    std::string fixedResult, jobResult;
    double fixed = TimedRun(
        host, host.WriteProgramFile("fixed.bin", tessaro_test::ProgramFileWriter::Write(empty)),
        &fixedResult);
    spec.commands = {10, 12, 14, 15, 16, 11};
    double wall = TimedRun(
        host, host.WriteProgramFile("image.bin", tessaro_test::ProgramFileWriter::Write(spec)),
        &jobResult);
    EXPECT_EQ("1", fixedResult);
    EXPECT_EQ("1", jobResult);
    double deviceMs = static_cast<double>(sectors) * busy.eraseMs +
                      static_cast<double>(blocks) * (busy.programMs + busy.verifyMs);
    double job = wall - fixed;
    std::printf(
        "Programing of %zu bytes (%zu blocks, %zu sectors), %s: wall %.0f ms, of it %.0f ms "
        "load and file; job %.0f ms; modelled device %.0f ms + link %.0f ms = %.0f ms; "
        "ratio %.2f\n",
        bytes, blocks, sectors, busy.name, wall, fixed, job, deviceMs, linkMs, deviceMs + linkMs,
        job / (deviceMs + linkMs));
    // Where the job's time goes: its log, per line kind, and the status
    // polls, each of which waits the file's poll period before it asks.
    std::vector<std::string> log = host.LogTexts("Tessaro.log");
    size_t dumpBytes = 0;
    for (const std::string& l : log) dumpBytes += l.size();
    size_t polls = Holding(log, "CMD_GET_FLASH_STATUS -----").size();
    std::printf(
        "  Tessaro.log: %zu lines, %zu bytes; %zu status polls, at least %zu ms of "
        "poll period\n",
        log.size(), dumpBytes, polls, polls * static_cast<size_t>(spec.flash.pollPeriod));
  }
}
