// Corvel's change window on a bench: a device that leaves and returns
// reaches the window through the hardware port, as the system's notices
// would, and each move refreshes the device table once.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "benchctl/bench_control.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

const char kTraceLog[] = "c:\\Corvel.log";

using IntFn = int(WINAPI*)(void);

std::string TraceLog() { return testsupport::ReadFileOr(kTraceLog, "<no log>"); }

// Waits until the trace log is `text`; a bound that only a broken window
// reaches.
bool WaitForLogToBe(const std::string& text) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 20000) {
    if (TraceLog() == text) return true;
    Sleep(2);
  }
  return false;
}

TEST(CorvelOnTheBench, ARemovalAndAnArrivalEachRefreshTheTableOnce) {
  ASSERT_TRUE(kBenchFromTheStart);
  testsupport::TestFolder folder;
  benchctl::BenchSpec spec;
  spec.Instrument(5, "1001");
  ASSERT_FALSE(benchctl::UseBench(folder.Path(), spec).empty());
  HMODULE corvel = LoadLibraryA((testsupport::ProgramDir() + "\\Corvel.dll").c_str());
  ASSERT_NE(nullptr, corvel);
  auto init = reinterpret_cast<IntFn>(reinterpret_cast<void*>(GetProcAddress(corvel, "LmLibInit")));
  auto exit = reinterpret_cast<IntFn>(reinterpret_cast<void*>(GetProcAddress(corvel, "LmLibExit")));
  ASSERT_TRUE(init && exit);
  ASSERT_EQ(0, init());
  ASSERT_EQ("", TraceLog()) << "the start itself writes no line";

  struct Move {
    const char* name;
    bool (*run)(int slot);
  };
  const Move moves[] = {{"removal", &benchctl::RemoveDevice}, {"arrival", &benchctl::ArriveDevice}};
  // The bench sends its notices for the USB device class only, one per move.
  const std::string refresh = "Device Change\r\nTimer start\r\nTimer stop\r\n";
  std::string expected;
  for (const Move& move : moves) {
    ASSERT_TRUE(move.run(0)) << move.name;
    expected += refresh;
    EXPECT_TRUE(WaitForLogToBe(expected)) << move.name << ":\n" << TraceLog();
  }
  // A second refresh would follow 100 ms after a second notice.
  Sleep(300);
  EXPECT_EQ(expected, TraceLog());

  EXPECT_EQ(0, exit());
  // The registrations went with the window: a later move reaches nobody.
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  Sleep(300);
  EXPECT_EQ(expected, TraceLog());
  FreeLibrary(corvel);
}

}  // namespace
