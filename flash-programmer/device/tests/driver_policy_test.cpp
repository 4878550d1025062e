// The flash library's driver API version rule on the bench: the warning box
// with its OK and "&Ignore" buttons, the Windows kinds, and the state later
// opens go by.
#include "tessaro/driver_policy.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "benchctl/bench_control.h"
#include "hwport/port.h"
#include "lumetra/sync.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace tessaro {
namespace {

using usbdrv::USBDRV_ERR_API_VERSION;

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();

std::string g_productName = "Microsoft Windows XP";
std::string g_productName9x;  // "ProductName" of "Software\Microsoft\Windows\CurrentVersion"
std::string FakeProductName(const char* key) {
  if (std::string(key) == "Software\\Microsoft\\Windows NT\\CurrentVersion") return g_productName;
  if (std::string(key) == "Software\\Microsoft\\Windows\\CurrentVersion") return g_productName9x;
  return "unexpected key";
}

class DriverPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DriverApiState() = DriverApiPolicyState{};
    DriverApiState().ReadProductName = &FakeProductName;
    g_productName = "Microsoft Windows XP";
    g_productName9x.clear();
  }
  void TearDown() override { DriverApiState() = DriverApiPolicyState{}; }
  void Use(const benchctl::BenchSpec& spec) {
    ASSERT_FALSE(benchctl::UseBench(folder_.Path(), spec).empty()) << hwport::BenchLoadError();
  }
  static benchctl::BenchSpec Driver(uint16_t api) {
    benchctl::BenchSpec s;
    s.TimeScale(1000).Driver(api).Instrument(5, "1001");
    return s;
  }
  testsupport::TestFolder folder_;
};

// The warning box answered by `button`; returns the open's status.
usbdrv::Status OpenAnswering(int button, std::vector<testsupport::AnsweredBox>* seen = nullptr) {
  testsupport::MessageBoxAnswerer answerer({{"Warning", "API Version does not match.", button}},
                                           GetCurrentProcessId());
  TUsbDrv drv;
  usbdrv::Status status = drv.OpenInstance(0, nullptr, nullptr);
  if (seen) *seen = answerer.Seen();
  return status;
}

TEST_F(DriverPolicyTest, OnXpAnOldDriverIsRefusedWithOkAndAskedAgain) {
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

TEST_F(DriverPolicyTest, TheWarningOffersOkAndIgnoreAndOnlyIgnoreAccepts) {
  Use(Driver(0x0130));
  usbdrv::Status status = 1;
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
  open.Join(INFINITE);
  EXPECT_EQ(USBDRV_ERR_API_VERSION, status);
  EXPECT_EQ(0u, DriverApiState().AcceptedVersion);
}

TEST_F(DriverPolicyTest, ACheckedBuildIsNamedInTheWarning) {
  benchctl::BenchSpec s;
  s.TimeScale(1000).Driver(0x0130, 0x11).Instrument(5, "1001");
  Use(s);
  std::vector<testsupport::AnsweredBox> seen;
  EXPECT_EQ(USBDRV_ERR_API_VERSION, OpenAnswering(IDYES, &seen));
  ASSERT_EQ(1u, seen.size());
  EXPECT_NE(std::string::npos, seen[0].text.find("\r\n - Flags: 17 (0x00000011)[CheckedBuld]\r\n"))
      << seen[0].text;
}

TEST_F(DriverPolicyTest, IgnoreAcceptsAndLaterOpensPassSilentlyYetACorrectDriverIsStillTaken) {
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

TEST_F(DriverPolicyTest, VersionRuleByWindowsKind) {
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
    usbdrv::Status status = OpenAnswering(IDYES, &seen);
    std::string row =
        std::string("[") + r.product + "][" + r.product9x + "] " + std::to_string(r.api);
    EXPECT_EQ(r.asks, !seen.empty()) << row;
    EXPECT_EQ(r.asks ? USBDRV_ERR_API_VERSION : 0u, status) << row;
    EXPECT_EQ(r.kind, DriverApiState().WindowsKind) << row;
    EXPECT_EQ(r.api == 0x0141, DriverApiState().DriverApi0141) << row;
  }
}

}  // namespace
}  // namespace tessaro
