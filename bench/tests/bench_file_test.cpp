// The bench file as a person wrote it: the bench changes its state in place
// and keeps every comment, blank line and the order of sections and keys,
// whichever part of the bench writes (the bus model or the device tree).
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <setupapi.h>

#include <cstdint>
#include <vector>

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

// What a handle opened before a change reads now: the file it opened, so
// the change reaches it only when it was written into that file.
std::string ReadThrough(HANDLE f) {
  SetFilePointer(f, 0, nullptr, FILE_BEGIN);
  std::string text(4096, '\0');
  DWORD n = 0;
  ReadFile(f, &text[0], static_cast<DWORD>(text.size()), &n, nullptr);
  text.resize(n);
  return text;
}

TEST(BenchFile, AChangeOfTheSameLengthIsWrittenIntoTheFileItself) {
  testsupport::TestFolder folder;
  const std::string file = folder.Path() + "\\bench.ini";
  ASSERT_TRUE(testsupport::WriteFile(file, "[Device0]\r\nProductId=5\r\nSerial=1001\r\n"));
  ASSERT_TRUE(benchctl::Activate(file)) << hwport::BenchLoadError();
  HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  auto write = [&](uint16_t facId, uint8_t low, uint8_t high) {
    auto reg = benchtest::VendorRecord(facId);
    uint8_t value[2] = {low, high};
    return benchtest::Ioctl(h, 0x80942035, reg.data(), 18, value, 2);
  };
  ASSERT_EQ(0u, write(0x3001, 0x34, 0x12));  // a new key: the text grows
  HANDLE before = CreateFileA(file.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, before);
  const std::string changed = "[Device0]\r\nProductId=5\r\nSerial=1001\r\nReg.3001.0=78 56\r\n";
  EXPECT_EQ(0u, write(0x3001, 0x78, 0x56));
  EXPECT_EQ(changed, testsupport::ReadFileOr(file));
  EXPECT_EQ(changed, ReadThrough(before)) << "the same file, changed in place";
  EXPECT_EQ("78 56", benchctl::ReadState(file, "Device0", "Reg.3001.0"));
  CloseHandle(before);
  // Readers notice a change by the file's time and size: changes of the same
  // length in quick succession each leave another time.
  std::vector<uint64_t> stamps;
  for (uint8_t v = 0; v < 5; ++v) {
    ASSERT_EQ(0u, write(0x3001, v, v));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    stamps.push_back(uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
                     data.ftLastWriteTime.dwLowDateTime);
    if (v > 0) {
      EXPECT_GT(stamps[v], stamps[v - 1]) << "change " << int{v};
    }
  }
  EXPECT_EQ(0u, write(0x3002, 0x01, 0x02));  // another length: a new file
  EXPECT_EQ("[Device0]\r\nProductId=5\r\nSerial=1001\r\nReg.3001.0=04 04\r\nReg.3002.0=01 02\r\n",
            testsupport::ReadFileOr(file));
  hwport::DriverClose(h);
}

}  // namespace
