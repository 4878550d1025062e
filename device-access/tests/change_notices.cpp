// Corvel's change window on a bench: a device that leaves and returns
// reaches the window through the hardware port, as the system's notices
// would, and each move refreshes the device table once.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "benchctl/bench_control.h"
#include "lumetra/dll_functions.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

const char kTraceLog[] = "c:\\Corvel.log";

using IntFn = int(WINAPI*)(void);

std::string TraceLog() { return testsupport::ReadFileOr(kTraceLog, "<no log>"); }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// What the log says after `moves` device moves: one notice and one refresh
// per move, the refresh done ("Timer stop").
struct Refreshes {
  size_t notices, starts, stops;
  bool operator==(const Refreshes&) const = default;
};
Refreshes RefreshesIn(const std::string& log) {
  return {Count(log, "Device Change\r\n"), Count(log, "Timer start\r\n"),
          Count(log, "Timer stop\r\n")};
}

// Waits until the log shows `moves` refreshes; a bound that only a broken
// window reaches.
bool WaitForRefreshes(size_t moves) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 20000) {
    if (RefreshesIn(TraceLog()) == Refreshes{moves, moves, moves}) return true;
    Sleep(2);
  }
  return false;
}

// The device lines of the last refresh in the log.
std::string LastRefresh(const std::string& log) {
  size_t at = log.rfind("Timer start");
  return at == std::string::npos ? std::string() : log.substr(at);
}

TEST(CorvelOnTheBench, ARemovalAndAnArrivalEachRefreshTheTableOnce) {
  ASSERT_TRUE(kBenchFromTheStart);
  testsupport::TestFolder folder;
  benchctl::BenchSpec spec;
  spec.Instrument(5, "1001");
  ASSERT_FALSE(benchctl::UseBench(folder.Path(), spec).empty());
  HMODULE corvel = LoadLibraryA((testsupport::ProgramDir() + "\\Corvel.dll").c_str());
  ASSERT_NE(nullptr, corvel);
  auto init = lm::ProcAddress<IntFn>(corvel, "LmLibInit");
  auto exit = lm::ProcAddress<IntFn>(corvel, "LmLibExit");
  ASSERT_TRUE(init && exit);
  ASSERT_EQ(0, init());
  ASSERT_EQ((Refreshes{0, 0, 0}), RefreshesIn(TraceLog()))
      << "the start refreshes without a notice";

  struct Move {
    const char* name;
    bool (*run)(int slot);
    bool deviceFound;
  };
  const Move moves[] = {{"removal", &benchctl::RemoveDevice, false},
                        {"arrival", &benchctl::ArriveDevice, true}};
  // The bench sends its notices for the USB device class only, one per move.
  size_t done = 0;
  for (const Move& move : moves) {
    ASSERT_TRUE(move.run(0)) << move.name;
    ++done;
    EXPECT_TRUE(WaitForRefreshes(done)) << move.name << ":\n" << TraceLog();
    EXPECT_EQ(
        move.deviceFound,
        LastRefresh(TraceLog()).find("Device found: VID: 0xe7b, PID: 0x5") != std::string::npos)
        << move.name << ":\n"
        << TraceLog();
  }
  // A second refresh would follow 100 ms after a second notice.
  Sleep(300);
  EXPECT_EQ((Refreshes{2, 2, 2}), RefreshesIn(TraceLog()));

  EXPECT_EQ(0, exit());
  // The registrations went with the window: a later move reaches nobody.
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  Sleep(300);
  EXPECT_EQ((Refreshes{2, 2, 2}), RefreshesIn(TraceLog()));
  FreeLibrary(corvel);
}

}  // namespace
