// The library's driver object against the bench: its driver API version
// rule, the fixed configuration and the synchronous transfers.
#include "usb_access.h"

#include <gtest/gtest.h>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "device_table.h"
#include "hwport/port.h"
#include "testsupport/testdir.h"

namespace corvel {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

class UsbAccess : public ::testing::Test {
 protected:
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

TEST_F(UsbAccess, OpenAcceptsDriverApiVersion0141Only) {
  struct Case {
    uint16_t api;
    usbdrv::Status status;
  };
  for (const Case& c : {Case{0x0141, 0}, Case{0x0130, 0xE000101C}, Case{0x0100, 0xE000101C}}) {
    Use(benchctl::BenchSpec().Driver(c.api).Instrument(8, "A12345"));
    TUsbDrv drv;
    // A refusal asks nobody: the call returns.
    EXPECT_EQ(c.status, drv.OpenInstance(0, nullptr, nullptr)) << std::hex << c.api;
    EXPECT_EQ(c.status == 0, drv.IsInstanceOpen()) << std::hex << c.api;
  }
}

TEST_F(UsbAccess, ConfigureDeviceAppliesInterfaceZeroWith64KiBTransfers) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345"));
  TUsbDrv drv;
  EXPECT_EQ(usbdrv::USBDRV_ERR_NOT_OPEN, drv.ConfigureDevice());
  EXPECT_TRUE(benchctl::CallRecord().empty());
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  EXPECT_EQ(0u, drv.ConfigureDevice());
  // Configured: the data pipe binds.
  EXPECT_EQ(0u, drv.BindEndpoint(0, 0x81, nullptr, nullptr));
}

TEST_F(UsbAccess, TransferInOnASilentPipeTimesOutWithNothingRead) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345"));
  TUsbDrv drv;
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  ASSERT_EQ(0u, drv.ConfigureDevice());
  ASSERT_EQ(0u, drv.BindEndpoint(0, 0x81, nullptr, nullptr));
  uint8_t data[64];
  uint32_t length = sizeof data;
  EXPECT_EQ(USBDRV_ERR_TIMEOUT, drv.TransferIn(data, &length, 10));
  EXPECT_EQ(0u, length);
}

TEST_F(UsbAccess, TransferInDeliversAQueuedPacket) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345"));
  TUsbDrv drv;
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  ASSERT_EQ(0u, drv.ConfigureDevice());
  ASSERT_EQ(0u, drv.BindEndpoint(0, 0x81, nullptr, nullptr));
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {6, 0, 7, 0, 0xAB, 0xCD}));
  uint8_t data[64] = {};
  uint32_t length = sizeof data;
  EXPECT_EQ(0u, drv.TransferIn(data, &length, 1000));
  EXPECT_EQ(std::vector<uint8_t>({6, 0, 7, 0, 0xAB, 0xCD}),
            std::vector<uint8_t>(data, data + length));
}

TEST_F(UsbAccess, TransferOutThatTimesOutReportsTheTimeOut) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345").Fault("Operation=Write Action=NoAnswer"));
  TUsbDrv drv;
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  ASSERT_EQ(0u, drv.ConfigureDevice());
  ASSERT_EQ(0u, drv.BindEndpoint(0, 0x02, nullptr, nullptr));
  uint8_t packet[8] = {8, 0, 1, 0, 1, 2, 3, 4};
  uint32_t length = sizeof packet;
  EXPECT_EQ(USBDRV_ERR_TIMEOUT, drv.TransferOut(packet, &length, 10));
  EXPECT_EQ(1u, benchctl::CallRecord("CancelIo").size());
}

TEST_F(UsbAccess, StringDescriptorTakesTheLanguageId) {
  Use(benchctl::BenchSpec().Instrument(8, "A12345"));
  TUsbDrv drv;
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  uint8_t text[64] = {};
  uint32_t length = sizeof text;
  ASSERT_EQ(0u, drv.ReadStringDescriptor(text, &length, 3, 0));
  EXPECT_EQ(12345u, SerialNumberOf(text, length));
}

}  // namespace
}  // namespace corvel
