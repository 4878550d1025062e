// The bench file as a person wrote it: the bench changes its state in place
// and keeps every comment, blank line and the order of sections and keys,
// whichever part of the bench writes (the bus model or the device tree).
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <setupapi.h>

#include "bench_test_support.h"
#include "benchctl/bench_control.h"
#include "hwport/port.h"
#include "hwport/setupapi.h"
#include "hwport/usb_driver.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

// Disables node 1 through the class installer, as Corvel switches a host
// controller off.
void DisableNodeOne() {
  HDEVINFO set = hwport::GetAllClassDevices(false);
  ASSERT_NE(INVALID_HANDLE_VALUE, set);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(hwport::EnumDeviceInfo(set, 0, &device));
  SP_PROPCHANGE_PARAMS change{};
  change.ClassInstallHeader.cbSize = sizeof change.ClassInstallHeader;
  change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  change.StateChange = DICS_DISABLE;
  change.Scope = DICS_FLAG_GLOBAL;
  ASSERT_TRUE(
      hwport::SetClassInstallParams(set, &device, &change.ClassInstallHeader, sizeof change));
  ASSERT_TRUE(hwport::CallClassInstaller(DIF_PROPERTYCHANGE, set, &device));
  hwport::DestroyDeviceInfoList(set);
}

TEST(BenchFile, ChangesKeepCommentsBlankLinesAndOrder) {
  testsupport::TestFolder folder;
  const std::string file = folder.Path() + "\\bench.ini";
  ASSERT_TRUE(testsupport::WriteFile(file,
                                     "; one instrument and one host controller\r\n"
                                     "[Bench]\r\n"
                                     "TimeScale=1000\r\n"
                                     "\r\n"
                                     "# the instrument\r\n"
                                     "[Device0]\r\n"
                                     "ProductId=5\r\n"
                                     "Serial=1001\r\n"
                                     "; state follows\r\n"
                                     "\r\n"
                                     "[SetupTree]\r\n"
                                     "Nodes=1\r\n"
                                     "\r\n"
                                     "[Node.1]\r\n"
                                     "; started, no problem\r\n"
                                     "Status=0x0180200A\r\n"
                                     "Problem=0\r\n"));
  ASSERT_TRUE(benchctl::Activate(file)) << hwport::BenchLoadError();

  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  auto reg = benchtest::VendorRecord(0x3001);
  uint8_t value[2] = {0x34, 0x12};
  ASSERT_EQ(0u, benchtest::Ioctl(h, 0x80942035, reg.data(), 18, value, 2));
  hwport::DriverClose(h);
  DisableNodeOne();

  EXPECT_EQ(
      "; one instrument and one host controller\r\n"
      "[Bench]\r\n"
      "TimeScale=1000\r\n"
      "\r\n"
      "# the instrument\r\n"
      "[Device0]\r\n"
      "ProductId=5\r\n"
      "Serial=1001\r\n"
      "; state follows\r\n"
      "Reg.3001.0=34 12\r\n"
      "\r\n"
      "[SetupTree]\r\n"
      "Nodes=1\r\n"
      "\r\n"
      "[Node.1]\r\n"
      "; started, no problem\r\n"
      "Status=0x01802402\r\n"
      "Problem=22\r\n"
      "\r\n"
      "[SetupCalls]\r\n"
      "Count=1\r\n"
      "Call1=DIF_PROPERTYCHANGE Node.1 StateChange=2 Scope=1 HwProfile=0 Result=0\r\n",
      testsupport::ReadFileOr(file));
}

}  // namespace
