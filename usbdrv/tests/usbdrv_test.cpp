// The driver classes against the bench, through the port: opening instances
// under the policy a library gives them, status texts, and transfers that
// time out on the bench clock or end with a removal.
#include "usbdrv/usbdrv.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "benchctl/bench_control.h"
#include "benchctl/faults_fired.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "lumetra/sync.h"
#include "lumetra/wire.h"
#include "testsupport/testdir.h"

namespace usbdrv {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

// The policy the driver objects of these tests are given: it notes what it
// was asked and accepts API version 0x0141 only.
std::vector<DriverInfoRecord> g_asked;
bool Only0141(const DriverInfoRecord& info) {
  g_asked.push_back(info);
  return info.APIVersion == 0x0141;
}

class TUsbDrv : public usbdrv::TUsbDrv {
 public:
  TUsbDrv() : usbdrv::TUsbDrv(&Only0141) {}
};
class TUsbDrvPipe : public usbdrv::TUsbDrvPipe {
 public:
  TUsbDrvPipe() : usbdrv::TUsbDrvPipe(&Only0141) {}
};

class UsbDrvTest : public ::testing::Test {
 protected:
  void SetUp() override { g_asked.clear(); }
  void TearDown() override { benchctl::ExpectFaultsFired(file_); }
  void Use(const benchctl::BenchSpec& spec) {
    file_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(file_.empty()) << hwport::BenchLoadError();
  }
  static benchctl::BenchSpec Driver(uint16_t api) {
    benchctl::BenchSpec s;
    s.TimeScale(1000).Driver(api).Instrument(5, "1001");
    return s;
  }
  testsupport::TestFolder folder_;
  std::string file_;
};

TEST_F(UsbDrvTest, AClosedInstanceRefusesRequestsWithoutTouchingTheDriver) {
  Use(Driver(0x0141));
  TUsbDrv drv;
  uint8_t value;
  EXPECT_EQ(USBDRV_ERR_NOT_OPEN, drv.GetConfiguration(&value));
  EXPECT_TRUE(benchctl::CallRecord().empty());
}

TEST_F(UsbDrvTest, ASecondOpenKeepsTheFirstHandle) {
  Use(Driver(0x0141));
  TUsbDrv drv;
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  HANDLE first = drv.Handle;
  EXPECT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  EXPECT_EQ(first, drv.Handle);
  EXPECT_EQ(1u, benchctl::CallRecord("CreateFile").size());
  EXPECT_EQ(0x0141, drv.DriverInfo.APIVersion);
}

TEST_F(UsbDrvTest, OpenByInterfaceListAndItsEnd) {
  Use(Driver(0x0141));
  HDEVINFO set = TUsbDrv::OpenInterfaceList(&USBDRV_INTERFACE_GUID);
  ASSERT_NE(nullptr, set);
  TUsbDrv a, b;
  EXPECT_EQ(USBDRV_ERR_BAD_PARAMETER, a.OpenInstance(0, set, nullptr));
  EXPECT_EQ(0u, a.OpenInstance(0, set, &USBDRV_INTERFACE_GUID));
  EXPECT_STREQ("\\\\?\\usb#vid_0e7b&pid_0005#1001#{7a3c51e2-4b90-4d1f-a6e8-2c5b9d04f713}",
               a.InterfaceDetail->DevicePath);
  EXPECT_EQ(USBDRV_ERR_NO_MORE_MEMBERS, b.OpenInstance(1, set, &USBDRV_INTERFACE_GUID));
  EXPECT_EQ(nullptr, b.Handle);
  TUsbDrv::CloseInterfaceList(set);
  TUsbDrv c;
  EXPECT_EQ(USBDRV_ERR_OPEN_FAILED, c.OpenInstance(1, nullptr, nullptr));
}

TEST_F(UsbDrvTest, DescriptorsConfigurationAndVendorRequests) {
  Use(Driver(0x0141));
  TUsbDrv drv;
  ASSERT_EQ(0u, drv.OpenInstance(0, nullptr, nullptr));
  uint8_t d[18] = {};
  ASSERT_EQ(0u, drv.ReadDeviceDescriptor(d));
  EXPECT_EQ(5, d[10]);
  uint8_t s[64];
  uint32_t len = sizeof s;
  ASSERT_EQ(0u, drv.ReadStringDescriptor(s, &len, 3));
  EXPECT_EQ(10u, len);  // "1001" in UTF-16 after the head
  ConfigurationRequest r{};
  r.InterfaceCount = 1;
  r.Interfaces[0] = {.InterfaceIndex = 0, .AlternateSetting = 0, .MaxTransferSize = 4096};
  EXPECT_EQ(0u, drv.ApplyConfiguration(r));
  uint8_t value = 0;
  EXPECT_EQ(0u, drv.GetConfiguration(&value));
  EXPECT_EQ(1, value);
  uint8_t alt = 9;
  EXPECT_EQ(0u, drv.GetInterface(&alt, 0));
  EXPECT_EQ(0, alt);
  VendorRequest v{.Flags = kShortTransferOk,
                  .RequestType = kRequestTypeVendor,
                  .Recipient = kRecipientDevice,
                  .Request = VENDOR_REQUEST,
                  .Value = 0x0200,
                  .Index = 0};
  EXPECT_EQ(
      0, std::memcmp(&v, "\x00\x00\x01\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x35\x00\x02\x00\x00",
                     18));
  EXPECT_EQ(0, std::memcmp(&v, &static_cast<const VendorRequest&>(RegisterRequest(0x0200, 0)), 18));
  uint8_t word[2];
  len = 2;
  EXPECT_EQ(0u, drv.VendorRequestIn(word, &len, v));
  EXPECT_EQ(2u, len);
  EXPECT_EQ(0u, drv.ClearConfiguration());
  auto lines = benchctl::CallRecord("h1 ");
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ("h1 ApplyConfiguration index=0 interfaces=1 {0,0,4096} -> 00000000", lines[4]);
  EXPECT_EQ("h1 VendorRequestIn FacId=0x0200 wIndex=0 len=2 -> 00000000 2: 00 00", lines[7]);
}

TEST_F(UsbDrvTest, DriverStatusTexts) {
  struct Row {
    uint32_t status;
    const char* text;
  } rows[] = {
      {0xE0000004, "Error code E0000004: HC Error: stall PID."},
      {0xE000100A, "Error code E000100A: Device is removed."},
      {0xE000100C, "Error code E000100C: Request timeout interval has expired."},
      {0xE000101C, "Error code E000101C: API Version does not match."},
      {0xE0001102, "Error code E0001102: Device not open"},
      {0xE0001104, "Error code E0001104: No such device instance. Use a different device number."},
      {0xE0001234, "Error code E0001234: Unknown error Code."},
  };
  for (const Row& r : rows) EXPECT_EQ(r.text, DriverStatusText(r.status)) << std::hex << r.status;
  std::string success = DriverStatusText(0);
  EXPECT_EQ(0u, success.rfind("Error code 00000000: ", 0));
  EXPECT_EQ(std::string::npos, success.find("Unknown error Code.")) << success;
}

TEST_F(UsbDrvTest, TheGivenPolicyJudgesTheDriverAndARefusalClosesTheInstance) {
  Use(Driver(0x0130));
  TUsbDrv drv;
  EXPECT_EQ(USBDRV_ERR_API_VERSION, drv.OpenInstance(0, nullptr, nullptr));
  EXPECT_EQ(nullptr, drv.Handle);
  ASSERT_EQ(1u, g_asked.size());
  EXPECT_EQ(0x0130, g_asked[0].APIVersion);
  EXPECT_EQ(0x0200, g_asked[0].DriverVersion);
  EXPECT_EQ(100u, g_asked[0].DriverBuildNumber);
  EXPECT_EQ(1u, benchctl::CallRecord("CloseHandle").size());
  // Without a policy no driver is worked with.
  usbdrv::TUsbDrv bare(nullptr);
  EXPECT_EQ(USBDRV_ERR_API_VERSION, bare.OpenInstance(0, nullptr, nullptr));
  EXPECT_EQ(nullptr, bare.Handle);
}

TEST(StringDescriptor, TheHeadAndTheBytesReceivedBothLimitTheText) {
  const uint8_t d[] = {8, 3, 'A', 0, 'B', 0, 'C', 0, 'D', 0};
  const uint8_t odd[] = {5, 3, 'A', 0, 'B'};
  const uint8_t wide[] = {4, 3, 0xAC, 0x20};
  const uint8_t zero[] = {8, 3, 'A', 0, 0, 0, 'C', 0};
  struct Row {
    const char* name;
    const uint8_t* bytes;
    uint32_t received;
    std::u16string units;
    std::string ansi;
    std::string text;  // one byte per unit
  } rows[] = {
      {"whole", d, sizeof d, u"ABC", "ABC", "ABC"},
      {"5 bytes", d, 5, u"A", "A", "A"},
      {"1 byte", d, 1, u"", "", ""},
      {"no bytes", d, 0, u"", "", ""},
      {"odd", odd, sizeof odd, u"A", "A", "A"},
      {"euro sign", wide, sizeof wide, u"\u20AC", "\x80", "?"},
      {"zero unit", zero, sizeof zero, std::u16string(u"A\0C", 3), std::string("A\0C", 3), "A"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.units, wire::StringDescriptorUnits({r.bytes, r.received})) << r.name;
    EXPECT_EQ(r.ansi, StringDescriptorAnsi(r.bytes, r.received)) << r.name;
    EXPECT_EQ(r.text, wire::StringDescriptorText({r.bytes, r.received})) << r.name;
  }
  const uint8_t device[] = {4, 1, 'A', 0};
  EXPECT_EQ("", wire::StringDescriptorText(device)) << "not a string descriptor";
}

TEST(StatusTable, NamesAndTextsComeFromOneRowPerCode) {
  struct Row {
    Status status;
    const char* name;
    const char* text;
  } rows[] = {
      {USBDRV_ERR_HC_CRC, "USBDRV_ERR_HC_CRC", "HC Error: Wrong CRC."},
      {USBDRV_ERR_NO_MEMORY, "USBDRV_ERR_NO_MEMORY", "USBD Error: No System Memory."},
      {USBDRV_ERR_CANCELING, "USBDRV_ERR_CANCELING", "USBD Error: canceling."},
      {USBDRV_ERR_TIMEOUT, "USBDRV_ERR_TIMEOUT", "Request timeout interval has expired."},
      {USBDRV_ERR_PIPE_NOT_FOUND, "USBDRV_ERR_PIPE_NOT_FOUND", "Pipe not found."},
      {USBDRV_ERR_NOT_OPEN, "USBDRV_ERR_NOT_OPEN", "Device not open"},
      {USBDRV_ERR_BAD_PARAMETER, "USBDRV_ERR_BAD_PARAMETER", "An invalid parameter was passed."},
  };
  for (const Row& r : rows) {
    ASSERT_NE(nullptr, StatusName(r.status)) << std::hex << r.status;
    EXPECT_STREQ(r.name, StatusName(r.status)) << std::hex << r.status;
    EXPECT_STREQ(r.text, StatusText(r.status)) << std::hex << r.status;
  }
  EXPECT_EQ(0xE000100Cu, USBDRV_ERR_TIMEOUT);
  EXPECT_EQ(nullptr, StatusName(0xE0001234));
  EXPECT_EQ(nullptr, StatusText(0));
}

class PipeTest : public UsbDrvTest {
 protected:
  void Bind(uint8_t ep, const char* fault = nullptr) {
    benchctl::BenchSpec s = Driver(0x0141);
    if (fault) s.Fault(fault);
    Use(s);
    ASSERT_EQ(0u, control_.OpenInstance(0, nullptr, nullptr));
    ConfigurationRequest r{};
    r.InterfaceCount = 1;
    r.Interfaces[0] = {.InterfaceIndex = 0, .AlternateSetting = 0, .MaxTransferSize = 4096};
    ASSERT_EQ(0u, control_.ApplyConfiguration(r));
    ASSERT_EQ(0u, pipe_.BindEndpoint(0, ep, nullptr, nullptr));
    ASSERT_EQ(0u, pipe_.ResetEndpoint());
  }
  TUsbDrv control_;
  TUsbDrvPipe pipe_;
};

TEST_F(PipeTest, AWriteThatTimesOutReturnsTheCancelledWritesStatus) {
  Bind(0x02, "Operation=Write Action=NoAnswer");
  uint8_t packet[8] = {8, 0, 1, 0};
  uint32_t len = sizeof packet;
  DWORD start = hwport::TickCount();
  EXPECT_EQ(static_cast<Status>(ERROR_OPERATION_ABORTED), pipe_.TransferOut(packet, &len, 20000));
  EXPECT_GE(hwport::TickCount() - start, 19000u) << "waited the time-out on the bench clock";
  EXPECT_EQ(0u, len);
  len = sizeof packet;
  EXPECT_EQ(0u, pipe_.TransferOut(packet, &len, 20000)) << "the rule fired once";
  EXPECT_EQ(8u, len);
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + 8), benchctl::PacketTaken(0, 0));
}

TEST_F(PipeTest, AwaitTimesOutAndLeavesTheReadPending) {
  Bind(0x81);
  uint8_t data[64];
  TUsbDrvBuf buf(data, sizeof data);
  buf.BytesToTransfer = sizeof data;
  ASSERT_TRUE(pipe_.StartRead(buf));
  EXPECT_EQ(USBDRV_ERR_TIMEOUT, pipe_.AwaitTransfer(buf, 5000));
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {5, 0, 1, 0, 0x42}));
  EXPECT_EQ(0u, pipe_.AwaitTransfer(buf, 5000));
  EXPECT_EQ(5u, buf.BytesDone);
  EXPECT_EQ(0x42, data[4]);
}

// Waits until the bench has `count` reads of `endpoint` pending.
bool PendingReads(const char* endpoint, size_t count) {
  for (int i = 0; i < 2000; ++i) {
    if (benchctl::CallRecord(std::string("Read ") + endpoint + " len=64 -> pending").size() >=
        count)
      return true;
    Sleep(5);
  }
  return false;
}

TEST_F(PipeTest, TwoTransfersAtOnceOnOnePipeEachComplete) {
  Bind(0x81);
  struct Read {
    uint8_t data[64] = {};
    uint32_t length = 64;
    Status status = 1;
  } reads[2];
  auto transfer = [this](Read& r) {
    // Ten seconds of the wall at the bench's time scale.
    r.status = pipe_.Transfer(Direction::In, r.data, &r.length, 10000000, TimeoutResult::Timeout);
  };
  lm::Thread first([&] { transfer(reads[0]); });
  ASSERT_TRUE(PendingReads("0x81", 1));
  lm::Thread second([&] { transfer(reads[1]); });
  ASSERT_TRUE(PendingReads("0x81", 2));
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {5, 0, 1, 0, 0x41}));
  ASSERT_TRUE(benchctl::QueueTransfer(0, 0x81, {5, 0, 1, 0, 0x42}));
  ASSERT_TRUE(first.Join(20000));
  ASSERT_TRUE(second.Join(20000));
  for (const Read& r : reads) {
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(5u, r.length);
  }
  EXPECT_EQ(0x41 + 0x42, reads[0].data[4] + reads[1].data[4]) << "each read got one transfer";
}

TEST_F(PipeTest, ARemovalEndsAPendingRead) {
  Bind(0x83);
  TUsbDrvBuf buf(64);
  buf.BytesToTransfer = 64;
  ASSERT_TRUE(pipe_.StartRead(buf));
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  EXPECT_EQ(USBDRV_ERR_DEVICE_REMOVED, pipe_.AwaitTransfer(buf, 5000));
  EXPECT_EQ(USBDRV_ERR_DEVICE_REMOVED, pipe_.UnbindEndpoint());
}

}  // namespace
}  // namespace usbdrv
