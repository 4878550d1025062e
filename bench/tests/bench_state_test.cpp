// The bench's persistent state and fault rules: state written back at once
// is seen by another process and survives it; a rule fires exactly as often
// as asked, counted across processes; late answers run on the bench clock.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_test_support.h"
#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "hwport/usb_driver.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

using benchtest::Ioctl;
using benchtest::VendorRecord;

class BenchState : public ::testing::Test {
 protected:
  void TearDown() override { benchctl::ExpectFaultsFired(file_); }
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  DWORD Child(const std::string& args) {
    return testsupport::RunProgram(testsupport::TestDir() + "\\bench_child.exe", args, {},
                                   {{"LUMETRA_BENCH", file_}});
  }
  testsupport::TestFolder folder_;
  std::string file_;
};

TEST_F(BenchState, ARegisterWrittenHereIsSeenByAnotherProcessAndBack) {
  Use(benchctl::BenchSpec().Instrument(5, "1001"));
  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  auto reg = VendorRecord(0x3001);
  uint8_t value[2] = {0x34, 0x12};
  ASSERT_EQ(0u, Ioctl(h, 0x80942035, reg.data(), 18, value, 2));
  EXPECT_EQ("34 12", benchctl::ReadState(file_, "Device0", "Reg.3001.0"));
  EXPECT_EQ(0x1234u, Child("read 0x3001"));
  EXPECT_EQ(0x0BEEu, Child("write 0x3001 0x0BEE"));
  uint8_t out[2] = {};
  DWORD n = 0;
  ASSERT_EQ(0u, Ioctl(h, 0x80942032, reg.data(), 18, out, 2, &n));
  EXPECT_EQ(0x0BEE, out[0] | out[1] << 8) << "this process sees the other's write at once";
  hwport::DriverClose(h);
  // The state outlives both processes: a new bench on the same file has it.
  ASSERT_TRUE(benchctl::Activate(file_));
  EXPECT_EQ(0x0BEEu, Child("read 0x3001"));
}

TEST_F(BenchState, AFaultRuleFiresExactlyAsOftenAsAskedAcrossProcesses) {
  Use(benchctl::BenchSpec().Instrument(5, "1001").Fault(
      "Device=0 Operation=VendorRequestIn FacId=0x0200 After=1 Times=1 Action=Status "
      "Status=0xE0000005"));
  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  auto status = VendorRecord(0x0200);
  auto version = VendorRecord(0x1010);
  uint8_t out[4];
  EXPECT_EQ(0u, Ioctl(h, 0x80942032, version.data(), 18, out, 4)) << "other FacIds pass";
  EXPECT_EQ(0u, Ioctl(h, 0x80942032, status.data(), 18, out, 2)) << "the first call is let through";
  EXPECT_EQ(0xE0000005u, Ioctl(h, 0x80942032, status.data(), 18, out, 2)) << "the second fires";
  EXPECT_EQ("1", benchctl::ReadState(file_, "Fault1", "Fired"));
  hwport::DriverClose(h);
  EXPECT_EQ(0u, Child("read 0x0200")) << "fired once: another process is not hit again";
  EXPECT_EQ(1u, benchctl::CallRecord("fault Fault1").size());
}

struct FaultCase {
  const char* name;
  const char* rule;
  uint32_t status;
  DWORD bytes;
  // The caller's buffer afterwards (it held EE EE, 78 56 for a write; the
  // device's answer is 34 12).
  const char* buffer;
  // The bench refuses the file and names what it did not understand.
  const char* refused = nullptr;
  // A write of 78 56 to register 0x3001 instead of the read: what the device
  // keeps of the data.
  const char* stored = nullptr;
  // The instrument's RebootFault, when it has one.
  const char* rebootFault = nullptr;
};

TEST_F(BenchState, FaultActionsShapeTheAnswer) {
  const FaultCase cases[] = {
      {"status instead of the answer", "Operation=VendorRequestIn Action=Status Status=0xE0000004",
       0xE0000004, 0, "EE EE"},
      {"short answer", "Operation=VendorRequestIn Action=Short Bytes=1", 0, 1, "34 EE"},
      {"malformed answer", "Operation=VendorRequestIn Action=Malformed Data=01", 0, 1, "01 EE"},
      {"short write", "Operation=VendorRequestOut Action=Short Bytes=1", 0, 1, "78 56", nullptr,
       "78"},
      {"late answer on the bench clock", "Operation=VendorRequestIn Action=Late DelayMs=30000", 0,
       2, "34 12"},
      {"removal in the middle", "Operation=VendorRequestIn Action=Remove", 0xE000100A, 0, "EE EE"},
      {"a misspelt action", "Operation=VendorRequestIn Action=Shrot Bytes=1", 0, 0, "",
       "[Fault1] Action=Shrot is no fault action"},
      {"a misspelt operation", "Operation=VendorRequstIn Action=Short Bytes=1", 0, 0, "",
       "[Fault1] Operation=VendorRequstIn is no fault operation"},
      {"a misspelt reboot fault", "Operation=VendorRequestIn Action=Short Bytes=1", 0, 0, "",
       "[Device0] RebootFault=NoRetrun is no reboot fault", nullptr, "NoRetrun"},
  };
  for (const FaultCase& c : cases) {
    benchctl::BenchSpec spec = benchctl::BenchSpec()
                                   .TimeScale(1000)
                                   .Instrument(5, "1001")
                                   .With("Status", "0x1234")
                                   .Fault(c.rule);
    if (c.rebootFault) spec.With("RebootFault", c.rebootFault);
    const std::string file = benchctl::UseBench(folder_.Path(), spec);
    if (c.refused) {
      EXPECT_EQ("", file) << c.name;
      EXPECT_NE(std::string(hwport::BenchLoadError()).find(c.refused), std::string::npos)
          << c.name << ": " << hwport::BenchLoadError();
      continue;
    }
    ASSERT_FALSE(file.empty()) << c.name << ": " << hwport::BenchLoadError();
    HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
    const bool write = c.stored != nullptr;
    auto request = VendorRecord(write ? 0x3001 : 0x0200);
    uint8_t out[2] = {0xEE, 0xEE};
    if (write) out[0] = 0x78, out[1] = 0x56;
    DWORD n = 99;
    DWORD start = hwport::TickCount();
    EXPECT_EQ(c.status, Ioctl(h, write ? 0x80942035 : 0x80942032, request.data(), 18, out, 2, &n))
        << c.name;
    EXPECT_EQ(c.bytes, n) << c.name;
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X %02X", out[0], out[1]);
    EXPECT_EQ(c.buffer, std::string(buffer)) << c.name;
    if (std::string(c.name).find("late") != std::string::npos) {
      EXPECT_GE(hwport::TickCount() - start, 29000u) << c.name;
    }
    if (write) {
      EXPECT_EQ(c.stored, benchctl::ReadState(file, "Device0", "Reg.3001.0")) << c.name;
    }
    EXPECT_EQ(benchctl::FaultsNotFired(file), std::vector<std::string>{}) << c.name;
    hwport::DriverClose(h);
  }
}

TEST_F(BenchState, AFailingInterfaceListAndARefusedOpen) {
  Use(benchctl::BenchSpec()
          .Instrument(5, "1")
          .Fault("Operation=InterfaceList Action=Status")
          .Fault("Operation=CreateFile Device=0 Action=Status"));
  const GUID guid = {0x7A3C51E2, 0x4B90, 0x4D1F, {0xA6, 0xE8, 0x2C, 0x5B, 0x9D, 0x04, 0xF7, 0x13}};
  EXPECT_EQ(INVALID_HANDLE_VALUE, hwport::InterfaceListOpen(&guid));
  EXPECT_EQ(INVALID_HANDLE_VALUE, hwport::DriverOpen("\\\\.\\USBDRV_Device0"));
  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  EXPECT_NE(INVALID_HANDLE_VALUE, h) << "fired once";
  hwport::DriverClose(h);
}

TEST_F(BenchState, TheCallRecordCanBeKeptInAFile) {
  Use(benchctl::BenchSpec().Bench("RecordFile", "calls.txt").Instrument(5, "1"));
  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  uint8_t c = 0;
  Ioctl(h, 0x80942018, nullptr, 0, &c, 1);
  hwport::DriverClose(h);
  EXPECT_EQ(
      "CreateFile \\\\.\\USBDRV_Device0 -> h1 device 0\r\nh1 GetConfiguration -> 00000000 1: "
      "00\r\nh1 CloseHandle\r\n",
      testsupport::ReadFileOr(folder_ / "calls.txt"));
}

}  // namespace
