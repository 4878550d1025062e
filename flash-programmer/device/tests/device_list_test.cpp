// The device list over a bench bus: texts from the string descriptors,
// devices without serial, an unopenable device in the middle, the driver
// refused.
#include "tessaro/device_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "hwport/port.h"
#include "tessaro/device_error.h"
#include "tessaro/driver_policy.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

class DeviceList : public ::testing::Test {
 protected:
  void SetUp() override { DriverApiState() = DriverApiPolicyState{}; }
  void TearDown() override { benchctl::ExpectFaultsFired(file_); }
  // Every fault rule of the bench replaced has fired.
  void Use(const benchctl::BenchSpec& spec) {
    benchctl::ExpectFaultsFired(file_);
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  testsupport::TestFolder folder_;
  std::string file_;
};

std::string Describe(TDeviceInfo* d) {
  return std::to_string(d->DeviceNumber) + " " + std::to_string(d->VID) + ":" +
         std::to_string(d->PID) + " [" + d->Product + "] [" + d->Manufacturer + "] [" +
         d->SerialNumber + "]";
}

TEST_F(DeviceList, AMixedBus) {
  Use(benchctl::BenchSpec()
          .Supply(16, "77")
          .Instrument(5, "")  // no serial-number string
          .Instrument(41, "555")
          .With("Product", "TR810 Spezial")
          .Instrument(6, "9")
          .With("Mode", "safe")
          .Fault("Operation=CreateFile Device=2 Times=0"));  // cannot be opened
  TUsbDevices devices;
  ASSERT_EQ(3, devices.Count());
  EXPECT_EQ("0 3707:16 [Power Supply] [Vandrel] [77]", Describe(devices.GetDevice(0)));
  EXPECT_EQ("1 3707:5 [TR440] [Vandrel] []", Describe(devices.GetDevice(1)));
  EXPECT_EQ("3 3707:6 [TR410] [Vandrel] [safety mode]", Describe(devices.GetDevice(2)));
}

TEST_F(DeviceList, ADeviceWhoseDeviceDescriptorCannotBeReadIsLeftOut) {
  struct Row {
    const char* name;
    const char* fault;  // for the first descriptor read of device 1: its device descriptor
  } rows[] = {
      {"the read fails", "Operation=ReadDescriptor Device=1 Action=Status Status=0xE0000004"},
      {"the answer is short", "Operation=ReadDescriptor Device=1 Action=Short Bytes=12"},
      {"the device is gone", "Operation=ReadDescriptor Device=1 Action=Remove"},
  };
  for (const Row& r : rows) {
    Use(benchctl::BenchSpec().Instrument(5, "10").Instrument(6, "11").Instrument(7, "12").Fault(
        r.fault));
    TUsbDevices devices;
    ASSERT_EQ(2, devices.Count()) << r.name;
    EXPECT_EQ("0 3707:5 [TR440] [Vandrel] [10]", Describe(devices.GetDevice(0))) << r.name;
    EXPECT_EQ("2 3707:7", Describe(devices.GetDevice(1)).substr(0, 8)) << r.name;
    EXPECT_EQ(1u, benchctl::CallRecord("h2 CloseHandle").size()) << r.name << ": closed again";
  }
}

TEST_F(DeviceList, NoDeviceGivesAnEmptyListAndBoundsZeroToMinusOne) {
  Use(benchctl::BenchSpec());
  TUsbDevices devices;
  EXPECT_EQ(0, devices.Count());
  try {
    devices.GetDevice(0);
    FAIL() << "no error";
  } catch (const EDeviceError& e) {
    EXPECT_EQ("Velquo.dll DeviceList.GetDevice: \"Index of device (0) out of bounds(0..-1)\"",
              e.Message());
  }
}

TEST_F(DeviceList, ARefusedDriverIsReportedTwiceAndTheListIsEmpty) {
  Use(benchctl::BenchSpec().Driver(0x0130).Instrument(5, "1"));
  testsupport::MessageBoxAnswerer answerer({{"Warning", "", IDYES}, {"Error", "", IDOK}},
                                           GetCurrentProcessId());
  TUsbDevices devices;
  EXPECT_EQ(0, devices.Count());
  ASSERT_TRUE(answerer.WaitForCount(2, 5000));
  auto seen = answerer.Seen();
  EXPECT_EQ(
      "Error code E000101C: API Version does not match.\r\nActual Driver:\r\n - APIVersion: 304 "
      "(0x0130)\r\n - DriverVersion: 512 (0x0200)\r\n - DriverBuildNumber: 100 (0x00000064)\r\n - "
      "Flags: 0 (0x00000000)",
      seen[1].text);
}

}  // namespace
}  // namespace tessaro
