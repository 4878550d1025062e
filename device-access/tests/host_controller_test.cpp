// The host-controller exports over bench device trees, called as another
// program binds them: one row per tree and call sequence, pinning every
// result and every class-installer call the tree saw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench_run.h"

namespace {

using corvel_test::RunOnBench;

// A PC with an enabled USB 2.0 controller (node 2) between a USB 1.1
// controller and a device without a service. Node 2 comes last in the text,
// so a row may add keys of its own to it.
const char kEhciTree[] =
    "[SetupTree]\r\nNodes=1,2,3\r\nHostControllerNames=\\\\.\\HCD0\r\n"
    "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24C2\r\nService=usbuhci\r\n"
    "[Node.3]\r\nHardwareIds=ACPI\\PNP0303\r\n"
    "[Node.2]\r\nHardwareIds=PCI\\VEN_8086&DEV_24CD,PCI\\VEN_8086&CC_0C0320\r\n"
    "Service=USBEHCI\r\n";

struct Row {
  const char* name;
  std::string tree;
  std::vector<std::string> calls;
  std::vector<int> results;
  std::vector<std::string> classInstallerCalls;
};

std::string With(const std::string& extra) { return std::string(kEhciTree) + extra; }

const std::string kDisable2 = "DIF_PROPERTYCHANGE Node.2 StateChange=2 Scope=2 HwProfile=0";
const std::string kEnableGlobal2 = "DIF_PROPERTYCHANGE Node.2 StateChange=1 Scope=1 HwProfile=0";
const std::string kEnable2 = "DIF_PROPERTYCHANGE Node.2 StateChange=1 Scope=2 HwProfile=0";

std::vector<Row> Rows() {
  const std::string noEhci =
      "[SetupTree]\r\nNodes=1,3\r\n"
      "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24C2\r\nService=usbuhci\r\n"
      "[Node.3]\r\nHardwareIds=ACPI\\PNP0303\r\n";
  const std::string hcdNames = "[SetupTree]\r\nNodes=\r\nHostControllerNames=";
  return {
      {"NoEhciControllerCountsAsDisabledAndNotFound",
       noEhci,
       {"LmIsUSBHostDisabled", "LmFindExtendedUSBHost"},
       {1, 0},
       {}},
      {"EnabledControllerIsFoundAndNotDisabled",
       kEhciTree,
       {"LmIsUSBHostDisabled", "LmFindExtendedUSBHost"},
       {0, 1},
       {}},
      {"DisableThenEnableSwitchesTheController",
       kEhciTree,
       {"LmDisableUSBHost", "LmIsUSBHostDisabled", "LmEnableUSBHost", "LmIsUSBHostDisabled"},
       {1, 1, 1, 0},
       {kDisable2 + " Result=0", kEnableGlobal2 + " Result=0", kEnable2 + " Result=0"}},
      {"FailingClassInstallerFailsTheDisable",
       With("ClassInstallerError=5\r\n"),
       {"LmDisableUSBHost", "LmIsUSBHostDisabled"},
       {0, 0},
       {kDisable2 + " Result=5"}},
      {"FailingClassInstallerFailsTheEnable",
       With("ClassInstallerError=5\r\n"),
       {"LmEnableUSBHost"},
       {0},
       {kEnableGlobal2 + " Result=5", kEnable2 + " Result=5"}},
      {"RefusedInstallParametersFailWithoutACall",
       With("SetParamsError=87\r\n"),
       {"LmDisableUSBHost", "LmEnableUSBHost"},
       {0, 0},
       {}},
      {"ControllerDisabledBeforeReadsDisabled",
       With("Status=0x01802400\r\nProblem=22\r\n"),
       {"LmIsUSBHostDisabled"},
       {1},
       {}},
      {"ControllerWithAnotherProblemCountsAsEnabled",
       With("Status=0x01802400\r\nProblem=10\r\n"),
       {"LmIsUSBHostDisabled"},
       {0},
       {}},
      {"KnownButNotPresentControllerDoesNotHideAnEnabledOne",
       "[SetupTree]\r\nNodes=4,2\r\n[Node.4]\r\nPresent=0\r\nService=usbehci\r\n" +
           std::string(kEhciTree).substr(std::string(kEhciTree).find("[Node.2]")),
       {"LmIsUSBHostDisabled", "LmFindExtendedUSBHost"},
       {0, 1},
       {}},
      {"OnlyANotPresentControllerIsFoundButNotEnabled",
       "[SetupTree]\r\nNodes=4\r\n[Node.4]\r\nPresent=0\r\nService=usbehci\r\n",
       {"LmFindExtendedUSBHost", "LmIsUSBHostDisabled"},
       {1, 1},
       {}},
      {"UnreadableNodeStatusEndsTheScanWithTheResultSoFar",
       With("StatusError=13\r\n"),
       {"LmIsUSBHostDisabled"},
       {1},
       {}},
      {"PropertyErrorFailsEveryScan",
       With("PropertyError=5\r\n"),
       {"LmFindExtendedUSBHost", "LmIsUSBHostDisabled", "LmDisableUSBHost"},
       {0, 0, 0},
       {}},
      {"UnbuildableDeviceSetFailsEveryScan",
       "[SetupTree]\r\nNodes=2\r\nGetClassDevsError=8\r\n[Node.2]\r\nService=usbehci\r\n",
       {"LmFindExtendedUSBHost", "LmIsUSBHostDisabled", "LmDisableUSBHost", "LmEnableUSBHost"},
       {0, 1, 0, 0},
       {}},
      {"EveryControllerKnownIsSwitchedInOrderPresentOrNot",
       "[SetupTree]\r\nNodes=4,2\r\n[Node.4]\r\nPresent=0\r\nService=usbehci\r\n" +
           std::string(kEhciTree).substr(std::string(kEhciTree).find("[Node.2]")),
       {"LmDisableUSBHost", "LmEnableUSBHost"},
       {1, 1},
       {"DIF_PROPERTYCHANGE Node.4 StateChange=2 Scope=2 HwProfile=0 Result=0",
        kDisable2 + " Result=0",
        "DIF_PROPERTYCHANGE Node.4 StateChange=1 Scope=1 HwProfile=0 Result=0",
        "DIF_PROPERTYCHANGE Node.4 StateChange=1 Scope=2 HwProfile=0 Result=0",
        kEnableGlobal2 + " Result=0", kEnable2 + " Result=0"}},
      {"FirstFailingControllerEndsTheSwitchAtOnce",
       "[SetupTree]\r\nNodes=5,2\r\n[Node.5]\r\nService=usbehci\r\nClassInstallerError=5\r\n" +
           std::string(kEhciTree).substr(std::string(kEhciTree).find("[Node.2]")),
       {"LmDisableUSBHost", "LmIsUSBHostDisabled"},
       {0, 0},
       {"DIF_PROPERTYCHANGE Node.5 StateChange=2 Scope=2 HwProfile=0 Result=5"}},
      {"OnlyTheLastHostControllerNameOpens",
       hcdNames + "\\\\.\\HCD9\r\n",
       {"LmFindHostUSB"},
       {1},
       {}},
      {"NoHostControllerNameOpens", hcdNames + "\\\\.\\HCD10\r\n", {"LmFindHostUSB"}, {0}, {}},
  };
}

TEST(HostController, ExportsOverBenchTrees) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    testsupport::TestFolder folder;
    auto run = RunOnBench(folder, row.tree, row.calls);
    ASSERT_TRUE(run.started) << row.name;
    std::vector<int> results;
    for (const auto& r : run.results) results.push_back(r.second);
    EXPECT_EQ(row.results, results) << row.name;
    EXPECT_EQ(row.classInstallerCalls, run.ClassInstallerCalls()) << row.name;
  }
}

TEST(HostController, DisableAndEnableLeaveTheTreeAsWindowsWould) {
  testsupport::TestFolder folder;
  auto disabled = RunOnBench(folder, kEhciTree, {"LmDisableUSBHost"});
  EXPECT_EQ("0x01802402", disabled.Value("Node.2", "Status"));
  EXPECT_EQ("22", disabled.Value("Node.2", "Problem"));
  // The USB 1.1 controller is left alone.
  EXPECT_EQ("", disabled.Value("Node.1", "Problem"));

  auto enabled =
      RunOnBench(folder, testsupport::ReadFileOr(disabled.benchFile), {"LmEnableUSBHost"});
  EXPECT_EQ("0x0180200A", enabled.Value("Node.2", "Status"));
  EXPECT_EQ("0", enabled.Value("Node.2", "Problem"));
}

}  // namespace
