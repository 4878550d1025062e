// The bench's power loss: the request that triggers it is taken, every
// device leaves the bus, and when the power is back each boots as after a
// reboot, the reboot marker deciding between boot code and firmware; a rule
// narrowed to a front-panel command fires on that command's packets only.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "bench_test_support.h"
#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "hwport/port.h"
#include "hwport/usb_driver.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

using benchtest::Ioctl;
using benchtest::VendorRecord;

constexpr DWORD kVendorOut = 0x80942035;

class BenchPower : public ::testing::Test {
 protected:
  void TearDown() override { benchctl::ExpectFaultsFired(file_); }
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  // Writes `data` to FacId `facId` of the n-th device on the bus.
  uint32_t Write(int n, uint16_t facId, std::vector<uint8_t> data) {
    HANDLE h = hwport::DriverOpen(("\\\\.\\USBDRV_Device" + std::to_string(n)).c_str());
    if (h == INVALID_HANDLE_VALUE) return 0xFFFFFFFF;
    auto request = VendorRecord(facId);
    const uint32_t status =
        Ioctl(h, kVendorOut, request.data(), 18, data.data(), static_cast<DWORD>(data.size()));
    hwport::DriverClose(h);
    return status;
  }
  testsupport::TestFolder folder_;
  std::string file_;
};

// Both devices on the bus again; false after 30 s.
bool BothBack() {
  for (int i = 0; i < 1500; ++i, Sleep(20)) {
    HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device1");
    if (h == INVALID_HANDLE_VALUE) continue;
    hwport::DriverClose(h);
    return true;
  }
  return false;
}

TEST_F(BenchPower, TheRequestIsTakenThenEveryDeviceBootsAgain) {
  Use(benchctl::BenchSpec()
          .TimeScale(1000)
          .Supply(16, "0000004711")
          .Instrument(5, "0000001001")
          .With("Parent", "0")
          .With("RebootMarker", "1")
          .Fault("Device=0 Operation=VendorRequestOut FacId=0x3001 Action=PowerLoss OffMs=20000"));
  ASSERT_EQ(0u, Write(0, 0x3001, {0x34, 0x12}));
  EXPECT_EQ("34 12", benchctl::ReadState(file_, "Device0", "Reg.3001.0")) << "taken";
  EXPECT_EQ(1u, benchctl::CallRecord("power lost").size());
  EXPECT_EQ(1u, benchctl::CallRecord("device 0 removed").size());
  EXPECT_EQ(1u, benchctl::CallRecord("device 1 removed").size());
  EXPECT_EQ(INVALID_HANDLE_VALUE, hwport::DriverOpen("\\\\.\\USBDRV_Device0"))
      << "nothing on the bus";
  ASSERT_TRUE(BothBack());
  EXPECT_EQ(1u, benchctl::CallRecord("power back").size());
  EXPECT_EQ("", benchctl::ReadState(file_, "Device0", "Mode"));
  EXPECT_EQ("boot", benchctl::ReadState(file_, "Device1", "Mode")) << "its marker was set";
}

TEST_F(BenchPower, ACommandNarrowsARuleToThePanelPacketsThatCarryIt) {
  Use(benchctl::BenchSpec()
          .TimeScale(1000)
          .Supply(16, "0000004711")
          .Fault("Device=0 Operation=VendorRequestOut FacId=0x2180 Command=0x4020 "
                 "Action=PowerLoss OffMs=1000"));
  std::vector<uint8_t> query(2048, 0), data(2048, 0);
  query[0] = 8, query[6] = 0x41, query[7] = 0x40;
  data[0] = 8, data[6] = 0x20, data[7] = 0x40;
  ASSERT_EQ(0u, Write(0, 0x2180, query));
  EXPECT_TRUE(benchctl::CallRecord("power lost").empty()) << "a query is another command";
  ASSERT_EQ(0u, Write(0, 0x2180, data));
  EXPECT_EQ(1u, benchctl::CallRecord("power lost").size());
}

}  // namespace
