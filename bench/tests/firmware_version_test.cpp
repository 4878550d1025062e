// The version register of a device whose firmware image carries its version
// in flash: the image's words once programmed, the Version key while erased.
#include <gtest/gtest.h>
#include <windows.h>

#include "bench_test_support.h"
#include "benchctl/bench_control.h"
#include "hwport/port.h"
#include "hwport/usb_driver.h"
#include "lumetra/wire.h"
#include "tessaro/crc16.h"
#include "testsupport/testdir.h"

namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

using benchtest::Configure1;
using benchtest::Ioctl;
using benchtest::VendorRecord;

constexpr DWORD kVendorIn = 0x80942032;
constexpr DWORD kVendorOut = 0x80942035;

// The program request 0x0340: 16 bytes of addresses and count, the bytes, two
// zeros and the CRC, high byte first.
std::vector<uint8_t> ProgramRequest(uint32_t offset, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> r(16, 0);
  le::PutU32(&r[4], offset);
  le::PutU16(&r[8], static_cast<uint16_t>(bytes.size()));
  r.insert(r.end(), bytes.begin(), bytes.end());
  r.resize(r.size() + 4, 0);
  tessaro::Crc16Append(r.data(), r.size() - 2);
  return r;
}

struct Row {
  const char* bench;
  const char* versionAt;  // null: no FirmwareVersionAt key
  const char* flashBase;
  int64_t programAt;  // offset programmed before the read; -1: nothing
  std::vector<uint8_t> image;
  uint16_t major, minor;
};

TEST(BenchFirmwareVersion, RegisterShowsTheImagesVersionOnceProgrammed) {
  const Row rows[] = {
      {"key set, flash erased: the Version key", "0x100", nullptr, -1, {}, 1, 24},
      {"image programmed there", "0x100", nullptr, 0x100, {0x02, 0x00, 0x07, 0x01}, 2, 263},
      {"one byte programmed counts", "0x100", nullptr, 0x103, {0x00}, 0xFFFF, 0x00FF},
      {"image elsewhere", "0x100", nullptr, 0x200, {0x02, 0x00, 0x07, 0x00}, 1, 24},
      {"no key: the Version key", nullptr, nullptr, 0x100, {0x02, 0x00, 0x07, 0x00}, 1, 24},
      {"absolute address above FlashBase",
       "0x8100",
       "0x8000",
       0x100,
       {0x03, 0x00, 0x01, 0x00},
       3,
       1},
      {"address past the flash", "0x20000", nullptr, -1, {}, 1, 24},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bench);
    testsupport::TestFolder folder;
    benchctl::BenchSpec spec;
    spec.TimeScale(1000).Instrument(5, "1001").With("Version", "1.24").With("FlashSize", "0x10000");
    if (row.versionAt) spec.With("FirmwareVersionAt", row.versionAt);
    if (row.flashBase) spec.With("FlashBase", row.flashBase);
    ASSERT_FALSE(benchctl::UseBench(folder.Path(), spec).empty()) << hwport::BenchLoadError();
    HANDLE h = hwport::DriverOpen("\\\\.\\USBDRV_Device0");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> config = Configure1();
    ASSERT_EQ(0u, Ioctl(h, 0x80942024, config.data(), 260, nullptr, 0));
    if (row.programAt >= 0) {
      std::vector<uint8_t> request = VendorRecord(0x0340);
      std::vector<uint8_t> data = ProgramRequest(static_cast<uint32_t>(row.programAt), row.image);
      DWORD n = 0;
      ASSERT_EQ(0u, Ioctl(h, kVendorOut, request.data(), 18, data.data(),
                          static_cast<DWORD>(data.size()), &n));
    }
    std::vector<uint8_t> version = VendorRecord(0x1010);
    uint8_t out[4] = {};
    DWORD n = 0;
    ASSERT_EQ(0u, Ioctl(h, kVendorIn, version.data(), 18, out, sizeof out, &n));
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(le::U16(out), row.major);
    EXPECT_EQ(le::U16(out + 2), row.minor);
    hwport::DriverClose(h);
  }
}

}  // namespace
