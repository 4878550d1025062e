// Finding installed drivers by hardware id, and adding and removing the
// driver's INF in the real driver store (under Wine the prefix's inf folder),
// with the device removals on a bench tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench_run.h"
#include "device_scan.h"

namespace {

using corvel_test::RunOnBench;
using corvel_test::StoreCopyOf;

// Node 2 is a present TR420 (its id in another letter case than the table's),
// node 3 a TR440 that is known but not present, node 4 a present power supply.
const char kInstrumentTree[] =
    "[SetupTree]\r\nNodes=1,2,3,4\r\n"
    "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24CD\r\nService=usbehci\r\n"
    "[Node.3]\r\nPresent=0\r\nHardwareIds=USB\\VID_0E7B&PID_0005\r\n"
    "[Node.4]\r\nHardwareIds=USB\\VID_0e7b&PID_0010&REV_0100,USB\\VID_0e7b&PID_0010\r\n"
    "[Node.2]\r\nHardwareIds=USB\\Vid_0E7B&Pid_0007&Rev_0200,USB\\VID_0E7B&PID_0007\r\n";

TEST(InstalledDriver, FlagsSelectHardwareIdsAndTheHighestBitDecides) {
  struct Case {
    const char* name;
    std::string call;
    int result;
  };
  const std::vector<Case> cases = {
      {"NoBitScansNothing", "LmFindInstalledDriver:0", 0},
      {"PresentDeviceFoundIgnoringCase", "LmFindInstalledDriver:4", 1},
      {"KnownButNotPresentDeviceNotFound", "LmFindInstalledDriver:1", 0},
      {"AbsentIdNotFound", "LmFindInstalledDriver:8", 0},
      {"LastIdOfTheTable", "LmFindInstalledDriver:32", 1},
      {"HighestBitPresentWins", "LmFindInstalledDriver:5", 1},
      {"HighestBitAbsentLoses", "LmFindInstalledDriver:12", 0},
      {"BitsAboveTheTableAreIgnored", "LmFindInstalledDriver:64", 0},
  };
  testsupport::TestFolder folder;
  std::vector<std::string> calls;
  for (const Case& c : cases) calls.push_back(c.call);
  auto run = RunOnBench(folder, kInstrumentTree, calls);
  ASSERT_TRUE(run.started);
  for (const Case& c : cases) EXPECT_EQ(c.result, run.Result(c.call)) << c.name;
  EXPECT_TRUE(run.ClassInstallerCalls().empty());
}

TEST(InstalledDriver, UnbuildableDeviceSetFindsNothing) {
  testsupport::TestFolder folder;
  auto run = RunOnBench(folder,
                        "[SetupTree]\r\nNodes=2\r\nGetClassDevsError=8\r\n"
                        "[Node.2]\r\nHardwareIds=USB\\VID_0e7b&PID_0007\r\n",
                        {"LmFindInstalledDriver:4"});
  EXPECT_EQ(0, run.Result("LmFindInstalledDriver:4"));
}

// An INF of this test's own, so no other test's store copy is touched.
std::string WriteInf(const testsupport::TestFolder& folder, const std::string& name) {
  std::string sample = testsupport::ReadFileOr(testsupport::ProgramDir() + "\\driver\\vdlm.inf");
  std::string inf = "; " + name + "\r\n" + sample;
  testsupport::WriteFile(folder / (name + ".inf"), inf);
  return inf;
}

std::string Precompiled(const std::string& storeInf) {
  return storeInf.substr(0, storeInf.size() - 4) + ".pnf";
}

TEST(DriverStore, UninstallOfAnInfNotInTheStoreLeavesNothingAndRemovesNoDevice) {
  testsupport::TestFolder folder;
  std::string inf = WriteInf(folder, "corvel_not_in_store");
  auto run = RunOnBench(folder, kInstrumentTree,
                        {"LmUninstallDriver:" + (folder / "corvel_not_in_store.inf")});
  EXPECT_EQ(0, run.Result("LmUninstallDriver:" + (folder / "corvel_not_in_store.inf")));
  EXPECT_EQ("", StoreCopyOf(inf));
  EXPECT_TRUE(run.ClassInstallerCalls().empty());
  EXPECT_EQ("", run.Value("Node.2", "Removed"));
}

TEST(DriverStore, InstallThenUninstallRemovesTheMakersPresentDevices) {
  testsupport::TestFolder folder;
  std::string inf = WriteInf(folder, "corvel_installed");
  std::string path = folder / "corvel_installed.inf";

  auto installed = RunOnBench(folder, kInstrumentTree, {"LmInstallDriver:" + path});
  EXPECT_EQ(0, installed.Result("LmInstallDriver:" + path));
  std::string store = StoreCopyOf(inf);
  ASSERT_NE("", store);
  EXPECT_TRUE(testsupport::FileExists(Precompiled(store)));

  auto removed = RunOnBench(folder, kInstrumentTree, {"LmUninstallDriver:" + path});
  EXPECT_EQ(0, removed.Result("LmUninstallDriver:" + path));
  EXPECT_EQ((std::vector<std::string>{"DIF_REMOVE Node.2 Result=0", "DIF_REMOVE Node.4 Result=0"}),
            removed.ClassInstallerCalls());
  EXPECT_EQ("1", removed.Value("Node.2", "Removed"));
  EXPECT_EQ("", removed.Value("Node.3", "Removed"));
  EXPECT_FALSE(testsupport::FileExists(store));
  EXPECT_FALSE(testsupport::FileExists(Precompiled(store)));
}

TEST(DriverStore, UninstallReportsAFailedRemovalAndStillClearsTheStore) {
  testsupport::TestFolder folder;
  std::string inf = WriteInf(folder, "corvel_removal_fails");
  std::string path = folder / "corvel_removal_fails.inf";
  auto installed = RunOnBench(folder, kInstrumentTree, {"LmInstallDriver:" + path});
  ASSERT_EQ(0, installed.Result("LmInstallDriver:" + path));
  std::string store = StoreCopyOf(inf);

  auto removed = RunOnBench(folder, std::string(kInstrumentTree) + "ClassInstallerError=5\r\n",
                            {"LmUninstallDriver:" + path});
  EXPECT_EQ(5, removed.Result("LmUninstallDriver:" + path));
  EXPECT_EQ((std::vector<std::string>{"DIF_REMOVE Node.2 Result=5", "DIF_REMOVE Node.4 Result=0"}),
            removed.ClassInstallerCalls());
  EXPECT_FALSE(testsupport::FileExists(store));
}

TEST(DriverStore, CopyFailuresGiveTheWindowsError) {
  testsupport::TestFolder folder;
  testsupport::WriteFile(folder / "not_an_inf.inf", "this is not a setup-information file\r\n");
  const std::string missing = "LmInstallDriver:" + (folder / "driver\\missing.inf");
  const std::string invalid = "LmInstallDriver:" + (folder / "not_an_inf.inf");
  const std::string uninstallMissing = "LmUninstallDriver:" + (folder / "driver\\missing.inf");
  auto run = RunOnBench(folder, kInstrumentTree, {missing, invalid, uninstallMissing});
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, run.Result(missing));
  // Wine's "expected a section name" for a file without sections.
  EXPECT_EQ(static_cast<int>(0xE0000000), run.Result(invalid));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, run.Result(uninstallMissing));
  EXPECT_TRUE(run.ClassInstallerCalls().empty());
}

}  // namespace

namespace {

TEST(InstalledDriver, LongHardwareIdListIsReadWhole) {
  // Longer than the first read's buffer: the read grows to what it asks for.
  std::string ids;
  for (int i = 0; i < 20; ++i) ids += "USB\\VID_1234&PID_" + std::to_string(1000 + i) + ",";
  ids += "USB\\VID_0e7b&PID_0008";
  testsupport::TestFolder folder;
  auto run = corvel_test::RunOnBench(
      folder, "[SetupTree]\r\nNodes=7\r\n[Node.7]\r\nHardwareIds=" + ids + "\r\n",
      {"LmFindInstalledDriver:8"});
  EXPECT_EQ(1, run.Result("LmFindInstalledDriver:8"));
}

TEST(FailureCode, AFailureWhoseLastErrorReadsZeroIsStillAFailure) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), corvel::FailureCode(0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), corvel::FailureCode(ERROR_ACCESS_DENIED));
}

}  // namespace

namespace {

// The bench's own USB devices are nodes of the tree too: a present TR440 in
// slot 0 and a power supply in slot 1 that is not attached.
const char kBenchDevicesTree[] =
    "[SetupTree]\r\nNodes=1\r\n"
    "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24CD\r\nService=usbehci\r\n"
    "[Device0]\r\nProductId=5\r\nBcdDevice=0x0200\r\n"
    "[Device1]\r\nProductId=0x10\r\nPresent=0\r\n";

TEST(InstalledDriver, BenchUsbDevicesAreFoundByTheirHardwareIds) {
  testsupport::TestFolder folder;
  auto run = RunOnBench(folder, kBenchDevicesTree,
                        {"LmFindInstalledDriver:1", "LmFindInstalledDriver:32"});
  EXPECT_EQ(1, run.Result("LmFindInstalledDriver:1")) << "present TR440 in slot 0";
  EXPECT_EQ(0, run.Result("LmFindInstalledDriver:32")) << "power supply not attached";
}

TEST(DriverStore, UninstallRemovesAPresentBenchUsbDevice) {
  testsupport::TestFolder folder;
  std::string inf = WriteInf(folder, "corvel_bench_device");
  std::string path = folder / "corvel_bench_device.inf";
  auto installed = RunOnBench(folder, kBenchDevicesTree, {"LmInstallDriver:" + path});
  ASSERT_EQ(0, installed.Result("LmInstallDriver:" + path));
  auto removed = RunOnBench(folder, kBenchDevicesTree, {"LmUninstallDriver:" + path});
  EXPECT_EQ(0, removed.Result("LmUninstallDriver:" + path));
  EXPECT_EQ((std::vector<std::string>{"DIF_REMOVE Node.1000 Result=0"}),
            removed.ClassInstallerCalls());
  EXPECT_EQ("1", removed.Value("Node.1000", "Removed"));
}

}  // namespace
