// The driver classes against the bench, through the port: opening instances,
// the driver API version rule with its warning box, status texts, and
// transfers that time out on the bench clock or end with a removal.
#include "tessaro/usbdrv.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "benchctl/bench_control.h"
#include "hwport/clock.h"
#include "hwport/port.h"
#include "lumetra/sync.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace tessaro {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

std::string g_productName = "Microsoft Windows XP";
std::string g_productName9x;  // "ProductName" of "Software\Microsoft\Windows\CurrentVersion"
std::string FakeProductName(const char* key) {
  if (std::string(key) == "Software\\Microsoft\\Windows NT\\CurrentVersion") return g_productName;
  if (std::string(key) == "Software\\Microsoft\\Windows\\CurrentVersion") return g_productName9x;
  return "unexpected key";
}

class UsbDrvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DriverApiState() = DriverApiPolicyState{};
    DriverApiState().ReadProductName = &FakeProductName;
    g_productName = "Microsoft Windows XP";
    g_productName9x.clear();
  }
  void TearDown() override { DriverApiState() = DriverApiPolicyState{}; }
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
  r.Interfaces[0] = {0, 0, 4096};
  EXPECT_EQ(0u, drv.ApplyConfiguration(r));
  uint8_t value = 0;
  EXPECT_EQ(0u, drv.GetConfiguration(&value));
  EXPECT_EQ(1, value);
  uint8_t alt = 9;
  EXPECT_EQ(0u, drv.GetInterface(&alt, 0));
  EXPECT_EQ(0, alt);
  VendorRequest v{0x10000, 2, 0, 0, 0x35, 0x0200, 0};
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

// The warning box answered by `button`; returns the open's status.
uint32_t OpenAnswering(int button, std::vector<testsupport::AnsweredBox>* seen = nullptr) {
  testsupport::MessageBoxAnswerer answerer({{"Warning", "API Version does not match.", button}},
                                           GetCurrentProcessId());
  TUsbDrv drv;
  uint32_t status = drv.OpenInstance(0, nullptr, nullptr);
  if (seen) *seen = answerer.Seen();
  return status;
}

TEST_F(UsbDrvTest, OnXpAnOldDriverIsRefusedWithOkAndAskedAgain) {
  Use(Driver(0x0130));
  std::vector<testsupport::AnsweredBox> seen;
  EXPECT_EQ(USBDRV_ERR_API_VERSION, OpenAnswering(IDYES, &seen));
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(
      "Error code E000101C: API Version does not match.\r\nActual Driver:\r\n - APIVersion: 304 "
      "(0x0130)\r\n - DriverVersion: 512 (0x0200)\r\n - DriverBuildNumber: 100 (0x00000064)\r\n - "
      "Flags: 0 (0x00000000)[]\r\nNecessary Driver:\r\n - APIVersion for Win98 and Win2000: 304 "
      "(0x0130) and 321 (0x0141), APIVersion for WinXP: 321 (0x0141)\r\n(Ignore: try continue "
      "with different driver)",
      seen[0].text);
  EXPECT_EQ(USBDRV_ERR_API_VERSION, OpenAnswering(IDYES, &seen));
  EXPECT_EQ(1u, seen.size()) << "asked again";
  EXPECT_EQ(3, DriverApiState().WindowsKind);
  EXPECT_FALSE(DriverApiState().DriverApi0141);
}

TEST_F(UsbDrvTest, TheWarningOffersOkAndIgnoreAndOnlyIgnoreAccepts) {
  Use(Driver(0x0130));
  uint32_t status = 1;
  lm::Thread open([&] {
    TUsbDrv drv;
    status = drv.OpenInstance(0, nullptr, nullptr);
  });
  HWND box = testsupport::WaitForMessageBox("Warning", "API Version", GetCurrentProcessId());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("OK", testsupport::ControlText(box, IDYES));
  EXPECT_EQ("&Ignore", testsupport::ControlText(box, IDNO));
  // What Esc and the close box send; a box that stays open is then left with OK.
  testsupport::PostCommand(box, IDCANCEL);
  if (!testsupport::WaitForWindowGone(box, 2000)) testsupport::ClickButtonByText(box, "OK");
  EXPECT_TRUE(open.Join(testsupport::kUiWaitMs));
  EXPECT_EQ(USBDRV_ERR_API_VERSION, status);
  EXPECT_EQ(0u, DriverApiState().AcceptedVersion);
}

TEST_F(UsbDrvTest, ACheckedBuildIsNamedInTheWarning) {
  benchctl::BenchSpec s;
  s.TimeScale(1000).Driver(0x0130, 0x11).Instrument(5, "1001");
  Use(s);
  std::vector<testsupport::AnsweredBox> seen;
  EXPECT_EQ(USBDRV_ERR_API_VERSION, OpenAnswering(IDYES, &seen));
  ASSERT_EQ(1u, seen.size());
  EXPECT_NE(std::string::npos, seen[0].text.find("\r\n - Flags: 17 (0x00000011)[CheckedBuld]\r\n"))
      << seen[0].text;
}

TEST_F(UsbDrvTest, IgnoreAcceptsAndLaterOpensPassSilentlyYetACorrectDriverIsStillTaken) {
  Use(Driver(0x0130));
  EXPECT_EQ(0u, OpenAnswering(IDNO));  // the "&Ignore" button
  std::vector<testsupport::AnsweredBox> seen;
  EXPECT_EQ(0u, OpenAnswering(IDYES, &seen));
  EXPECT_TRUE(seen.empty());
  // A correct driver after an earlier "Ignore" is judged by the rule again.
  Use(Driver(0x0141));
  EXPECT_EQ(0u, OpenAnswering(IDYES, &seen));
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(DriverApiState().DriverApi0141);
  EXPECT_EQ(0x0141u, DriverApiState().AcceptedVersion);
}

TEST_F(UsbDrvTest, VersionRuleByWindowsKind) {
  struct Row {
    const char* product;    // under "Windows NT"
    const char* product9x;  // under "Windows"
    uint16_t api;
    bool asks;
    uint8_t kind;
  } rows[] = {
      {"Microsoft Windows XP", "", 0x0141, false, 3},
      {"Microsoft Windows XP", "", 0x0130, true, 3},
      {"Microsoft Windows 2000", "", 0x0130, false, 2},
      {"Microsoft Windows 2000", "", 0x0141, false, 2},
      {"Microsoft Windows 2000", "", 0x0150, true, 2},
      {"", "Microsoft Windows 98", 0x0130, false, 1},
      {"", "Microsoft Windows 98", 0x0141, false, 1},
      {"", "Microsoft Windows 98", 0x0150, true, 1},
      {"", "", 0x0141, true, 0},
      {"Windows Vista", "Microsoft Windows 98", 0x0141, true, 0},
      {"microsoft windows xp", "", 0x0141, true, 0},
  };
  for (const Row& r : rows) {
    DriverApiState() = DriverApiPolicyState{};
    DriverApiState().ReadProductName = &FakeProductName;
    g_productName = r.product;
    g_productName9x = r.product9x;
    Use(Driver(r.api));
    std::vector<testsupport::AnsweredBox> seen;
    uint32_t status = OpenAnswering(IDYES, &seen);
    std::string row =
        std::string("[") + r.product + "][" + r.product9x + "] " + std::to_string(r.api);
    EXPECT_EQ(r.asks, !seen.empty()) << row;
    EXPECT_EQ(r.asks ? USBDRV_ERR_API_VERSION : 0u, status) << row;
    EXPECT_EQ(r.kind, DriverApiState().WindowsKind) << row;
    EXPECT_EQ(r.api == 0x0141, DriverApiState().DriverApi0141) << row;
  }
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
    r.Interfaces[0] = {0, 0, 4096};
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
  EXPECT_EQ(static_cast<uint32_t>(ERROR_OPERATION_ABORTED), pipe_.TransferOut(packet, &len, 20000));
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
}  // namespace tessaro
