// The port's clock on a bench with a time scale: long waits pass quickly, and
// the clock's own ticks say the full span went by.
#include "hwport/clock.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "hwport/port.h"
#include "testsupport/testdir.h"

namespace {

constexpr int kScale = 1000;

class BenchEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    file_ = std::string(temp) + "hwport_clock_" + std::to_string(GetCurrentProcessId()) + ".ini";
    testsupport::WriteFile(file_, "[Bench]\r\nTimeScale=" + std::to_string(kScale) + "\r\n");
    SetEnvironmentVariableA("LUMETRA_BENCH", file_.c_str());
  }
  void TearDown() override { DeleteFileA(file_.c_str()); }

 private:
  std::string file_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BenchEnvironment);

TEST(BenchClock, LoadsTheBenchNamedByTheEnvironment) {
  EXPECT_TRUE(hwport::BenchActive()) << hwport::BenchLoadError();
  EXPECT_STREQ("", hwport::BenchLoadError());
}

TEST(BenchClock, TwoMinuteSleepPassesInWallMillisecondsButFullOnTheClock) {
  DWORD wallStart = GetTickCount();
  DWORD clockStart = hwport::TickCount();
  hwport::Sleep(120000);
  DWORD clockSpan = hwport::TickCount() - clockStart;
  DWORD wallSpan = GetTickCount() - wallStart;
  EXPECT_GE(clockSpan, 120000u - 50u * kScale / 1000u);
  // 120 s on the clock is 120 ms of wall time; the bound only guards against
  // an unscaled sleep.
  EXPECT_LT(wallSpan, 60000u);
}

TEST(BenchClock, WaitTimesOutOnTheClockAndReportsTimeout) {
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD clockStart = hwport::TickCount();
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), hwport::WaitForObject(never, 600000));
  EXPECT_GE(hwport::TickCount() - clockStart, 590000u);
  CloseHandle(never);
}

TEST(BenchClock, SignalledObjectReturnsAtOnce) {
  HANDLE set = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, hwport::WaitForObject(set, INFINITE));
  HANDLE both[2] = {set, set};
  EXPECT_EQ(WAIT_OBJECT_0, hwport::WaitForObjects(1, both, FALSE, 10));
  CloseHandle(set);
}

TEST(BenchClock, RealMillisecondsNeverRoundsAWaitToZero) {
  EXPECT_EQ(0u, hwport::RealMilliseconds(0));
  EXPECT_EQ(1u, hwport::RealMilliseconds(1));
  EXPECT_EQ(10u, hwport::RealMilliseconds(10000));
}

}  // namespace
