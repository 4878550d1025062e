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

TEST_F(Programing, ASecondCallerWaitsForTheFirstAndThenRunsItsJob) {
  // Two TR410 on the bench, each programmed with a file of its own by one of
  // two threads of the host: the thread that loaded the library (its window
  // belongs to that thread) and another one. The second caller calls while
  // the first one's job holds the library.
  struct Row {
    const char* name;
    const char* first;  // "loader" or "other"
    bool shown;         // the library's window is shown
  } rows[] = {
      {"another thread first, the window hidden", "other", false},
      {"another thread first, the window shown", "other", true},
      {"the loading thread first, the window hidden", "loader", false},
      {"the loading thread first, the window shown", "loader", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    benchctl::BenchSpec bench = Tr410();
    WithFlash(bench.Instrument(6, "2002"));
    Use(bench);
    const Bytes commands = {10, 12, 14, 15, 16, 11};
    ProgramFileSpec other = ListOf(commands);
    other.blocks = {{0x0000, Bytes(32, 0x3C)}};
    File(ListOf(commands), "loader.bin");
    File(other, "other.bin");
    std::string second = std::string(r.first) == "loader" ? "other" : "loader";
    std::vector<std::string> actions = {"load"};
    if (r.shown) actions.push_back("show");
    actions.push_back(std::string("pair:") + r.first + ":2001:loader.bin:2002:other.bin");
    actions.push_back("free");
    testsupport::ChildProcess child;
    ASSERT_TRUE(host_->Start(child, actions)) << "error " << child.LastError();
    // Two small jobs take seconds; callers that wait on each other for good
    // never end.
    if (!child.Wait(120000)) child.Kill();
    EXPECT_EQ((std::vector<std::string>{std::string(r.first) + ":1", second + ":1"}),
              host_->Values("pair"));
    EXPECT_EQ(std::vector<std::string>{"1"}, host_->Values("end"));
    EXPECT_EQ(std::vector<uint8_t>(32, 0xA5), FlashAt(0x0000, 32)) << "the loader's device";
    std::vector<uint8_t> flash = benchctl::ReadFlash(bench_, 1);
    EXPECT_EQ(std::vector<uint8_t>(32, 0x3C),
              flash.size() < 32 ? flash : std::vector<uint8_t>(flash.begin(), flash.begin() + 32))
        << "the other thread's device";
  }
}

}  // namespace
