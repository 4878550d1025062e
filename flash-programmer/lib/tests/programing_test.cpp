// One Programing call runs a program file's whole command list against a
// bench instrument: find it, reboot it into safe mode, erase, program and
// verify its flash, reboot it back into its firmware.
#include <gtest/gtest.h>

#include "programing_fixture.h"

using namespace tessaro_e2e;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

class Programing : public ProgramingFixture {};

TEST_F(Programing, OneCallRunsTheWholeUpdateOfATr410) {
  Use(Tr410());
  std::string file = File(ListOf(kWholeUpdate), "update.bin");
  Outcome o = ProgramOnce(file);
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_EQ(std::vector<uint8_t>(32, 0xA5), FlashAt(0x0000, 32));
  EXPECT_EQ(std::vector<uint8_t>(16, 0x5A), FlashAt(0x4100, 16));
  EXPECT_EQ("0", benchctl::ReadState(bench_, "Device0", "RebootMarker")) << "the marker is clear";
  EXPECT_EQ("", benchctl::ReadState(bench_, "Device0", "Mode")) << "back in its firmware";
  EXPECT_EQ("4", benchctl::ReadState(bench_, "Device0", "Reboots"))
      << "two reboots of the test, one to safe mode, one back";
  EXPECT_TRUE(InOrder(
      Log(),
      {">>> Programing(e7b,6,2001," + file + ") start of function ", "[UsbDevCtrl] OK, RebootTest.",
       "[UsbDevCtrl] OK, Reboot from to.", "OK, Programing bin file \"" + file + "\"",
       "<<< Programing(e7b,6,2001," + file + ") end of function, result = 1 "}));
}

TEST_F(Programing, AWindowShownAfterAHiddenJobShowsTheJobsLines) {
  Use(Tr410());
  std::string file = File(ListOf({10, 11}), "open.bin");
  host_->Run({"load", "prog:0x0E7B:6:2001:" + file, "show", "edithas:OPEN DEVICE OK",
              "edithas:OK, Programing bin file", "free"});
  EXPECT_EQ(std::vector<std::string>({"1"}), host_->Values("prog"));
  EXPECT_EQ(std::vector<std::string>({"1", "1"}), host_->Values("edithas"))
      << "a line of the commands, the job's closing line";
}

}  // namespace
