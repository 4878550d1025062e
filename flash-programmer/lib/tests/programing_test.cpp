// One Programing call runs a program file's whole command list against a
// bench instrument: find it, reboot it into safe mode, erase, program and
// verify its flash, reboot it back into its firmware.
#include <gtest/gtest.h>

#include "benchctl/bench_control.h"
#include "benchctl/bench_flash.h"
#include "host_fixture.h"
#include "hwport/port.h"

using namespace tessaro_e2e;
using tessaro_test::ProgramFileSpec;
using tessaro_test::ProgramFileWriter;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

// A TR410 whose flash is the one the default program file describes.
benchctl::BenchSpec Tr410(const std::string& serial = "2001") {
  benchctl::BenchSpec s;
  s.TimeScale(50).Instrument(6, serial);
  s.With("FlashSize", "0x40000")
      .With("FlashBase", "0x400000")
      .With("FlashSectors",
            "0:0x4000,0x4000:0x2000,0x6000:0x2000,0x8000:0x8000,0x10000:0x10000,0x20000:0x10000,"
            "0x30000:0x10000")
      .With("FlashDeviceId", "0x22AB")
      .With("RebootMs", "1500");
  return s;
}

ProgramFileSpec WholeUpdate() {
  ProgramFileSpec spec;
  spec.pid = 6;
  spec.commands = {26, 27, 10, 18, 20, 12, 14, 15, 16, 19, 21, 22};
  return spec;
}

struct Outcome {
  std::string result, status;
};

Outcome Program(HostFolder& host, const std::string& file, const std::string& serial = "2001") {
  host.Run({"load", "prog:0x0E7B:6:" + serial + ":" + file, "status", "free"});
  std::vector<std::string> r = host.Values("prog"), s = host.Values("status");
  return {r.empty() ? "" : r.back(), s.empty() ? "" : s.back()};
}

std::vector<uint8_t> FlashAt(const std::string& bench, uint32_t address, size_t n) {
  std::vector<uint8_t> flash = benchctl::ReadFlash(bench, 0);
  if (flash.size() < address + n) return {};
  return std::vector<uint8_t>(flash.begin() + address, flash.begin() + address + n);
}

}  // namespace

TEST(Programing, AWindowShownAfterAHiddenJobShowsTheJobsLines) {
  HostFolder host;
  ASSERT_FALSE(benchctl::UseBench(host.Path(), Tr410()).empty()) << hwport::BenchLoadError();
  ProgramFileSpec spec = WholeUpdate();
  spec.commands = {10, 11};
  std::string file = host.WriteProgramFile("open.bin", ProgramFileWriter::Write(spec));
  host.Run({"load", "prog:0x0E7B:6:2001:" + file, "show", "edithas:OPEN DEVICE OK",
            "edithas:OK, Programing bin file", "free"});
  EXPECT_EQ(std::vector<std::string>({"1"}), host.Values("prog"));
  EXPECT_EQ(std::vector<std::string>({"1", "1"}), host.Values("edithas"))
      << "a line of the commands, the job's closing line";
}

TEST(Programing, OneCallRunsTheWholeUpdateOfATr410) {
  HostFolder host;
  std::string bench = benchctl::UseBench(host.Path(), Tr410());
  ASSERT_FALSE(bench.empty()) << hwport::BenchLoadError();
  std::string file = host.WriteProgramFile("update.bin", ProgramFileWriter::Write(WholeUpdate()));
  Outcome o = Program(host, file);
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_EQ(std::vector<uint8_t>(32, 0xA5), FlashAt(bench, 0x0000, 32));
  EXPECT_EQ(std::vector<uint8_t>(16, 0x5A), FlashAt(bench, 0x4100, 16));
  EXPECT_EQ("0", benchctl::ReadState(bench, "Device0", "RebootMarker")) << "the marker is clear";
  EXPECT_EQ("", benchctl::ReadState(bench, "Device0", "Mode")) << "back in its firmware";
  EXPECT_EQ("4", benchctl::ReadState(bench, "Device0", "Reboots"))
      << "two reboots of the test, one to safe mode, one back";
  std::vector<std::string> log = host.LogTexts("Tessaro.log");
  EXPECT_TRUE(InOrder(
      log,
      {">>> Programing(e7b,6,2001," + file + ") start of function ", "[UsbDevCtrl] OK, RebootTest.",
       "[UsbDevCtrl] OK, Reboot from to.", "OK, Programing bin file \"" + file + "\"",
       "<<< Programing(e7b,6,2001," + file + ") end of function, result = 1 "}));
}
