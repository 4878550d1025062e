// The update run interrupted on the bench, through Kestor's real window and
// Tessaro.dll: the power lost after a step or in the middle of the front
// panel's file, the panel refusing what it is sent or keeping silent after an
// execute, Exit pressed in a step. Each row ends in its own error text, in
// the window and in the update log, leaves the device old, new or in its
// update mode, and a second run of Kestor on the same bench finishes the
// update.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "benchctl/bench_control.h"
#include "benchctl/bench_flash.h"
#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "fake_usb_host.h"
#include "lumetra/dll_functions.h"
#include "lumetra/sync.h"
#include "mmi_file_writer.h"
#include "package_builder.h"
#include "process_flags.h"
#include "resource.h"
#include "state/process_context.h"
#include "state/shared_values.h"
#include "tessaro_test/program_file_writer.h"
#include "testsupport/process.h"
#include "testsupport/testdir.h"
#include "testsupport/uidriver.h"

namespace {

const bool kBench = benchctl::BenchFromTheStart();

using testsupport::ControlText;

const char kReady[] = "Press button 'Start Update' to start the update process!";
const char kInstalled[] = "Update installed successfully! Press Exit to close the Kestor!";
const char kNoDevice[] =
    "Error - No supported Lumetra device found: Please connect instrument to USB port!";
const char kDisconnected[] =
    "Error - Device was disconnected during the update process: Please restart the application!";
const char kCancelled[] =
    "Update cancelled by user: Please restart the application to finish the update!";
const char kFailed[] =
    "Error - The update process was not successful: Please restart the application to finish the "
    "update!";

// Polls until `check` holds; false after 60 s.
template <typename Check>
bool Eventually(Check check) {
  for (int i = 0; i < 3000; ++i) {
    if (check()) return true;
    Sleep(20);
  }
  return false;
}

void SearchDllsIn(const std::string& folder) {
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  auto set =
      lm::ProcAddress<SetDllDirectoryFn>(GetModuleHandleA("kernel32.dll"), "SetDllDirectoryA");
  if (set) set(folder.empty() ? nullptr : folder.c_str());
}

// A supply with a TR440 on older releases (release 1.2, module 2.10, panel
// 1.02) whose flash is the one the module's program file describes; the
// firmware image carries its version at 0x400100.
benchctl::BenchSpec Tr440(int timeScale) {
  benchctl::BenchSpec spec;
  spec.TimeScale(timeScale)
      .Supply(16, "0000004711")
      .With("SupplyId", "4711")
      .With("Release", "12")
      .With("ReleaseDate", "2968")
      .With("Version", "3.10")
      .With("PanelRevision", "1.02")
      .Instrument(5, "0000001001")
      .With("Parent", "0")
      .With("Version", "2.10")
      .With("FlashSize", "0x40000")
      .With("FlashBase", "0x400000")
      .With("FlashSectors",
            "0:0x4000,0x4000:0x2000,0x6000:0x2000,0x8000:0x8000,0x10000:0x10000,0x20000:0x10000,"
            "0x30000:0x10000")
      .With("FlashDeviceId", "0x22AB")
      .With("RebootMs", "1500")
      .With("FirmwareVersionAt", "0x400100");
  return spec;
}

// The module image of release 2.11 through the device's safe mode and back;
// the safe-mode variant for a device an earlier run left in its safe mode,
// which knows no firmware identity to restart into and restarts the device
// through its supply when need be.
std::string ModuleImage211(bool safeMode) {
  tessaro_test::ProgramFileSpec spec;
  spec.pid = 5;
  spec.commands = {26, 27, 10, 18, 20, 12, 14, 15, 16, 19, 21, 22};
  if (safeMode) spec.commands = {10, 12, 14, 15, 16, 19, 48, 22};
  spec.blocks.push_back({0x0100, {0x02, 0x00, 0x0B, 0x00}});
  const tessaro_test::Bytes file = tessaro_test::ProgramFileWriter::Write(spec);
  return std::string(file.begin(), file.end());
}

// One row of the matrix.
struct Interruption {
  const char* name;
  // Bench keys of the supply (slot 0) and fault rules that make the fault.
  std::vector<std::pair<std::string, std::string>> supplyKeys;
  std::vector<std::string> faults;
  const char* status;  // the first run's end, in the window
  int errorIndex;
  // Step statuses after the first run: MODULE, MMI, SET REVISION.
  const char* steps[3];
  const char* left;  // the device after the first run (DeviceLeft)
  // The bench clock's speed: the execute's 9999 polls pass fastest at 1000.
  int timeScale = 100;
};

class UpdateInterruptions : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("TEMP", folder_.Path().c_str());
    const std::vector<uint8_t> panel = kestortest::MmiFileBytes(
        3 * 2038 + 5, "TR440", "UPDATE", "\\flash\\front.bin", "Front panel Version 1.05");
    panelPayload_.assign(panel.begin() + 1024, panel.end());
    package_.Package("TR440", "1.3")
        .Set("DEBUG", "REBOOT_WAIT", "10000")
        .Step("Module", {{"Name", "MODULE"},
                         {"Rev", "2.11"},
                         {"FWPROG", "1"},
                         {"FWPROGNORM", "tr440.bin"},
                         {"FWPROGSUSB", "tr440susb.bin"}})
        .Step("MMI", {{"Name", "MMI"}, {"Rev", "1.05"}, {"File1", "panelr.mmi"}})
        .Step("Rev", {{"Name", "SET REVISION"}, {"Rev", "1.3"}, {"Date", "24.12.2005"}})
        .OutFile("tr440.bin", ModuleImage211(false))
        .OutFile("tr440susb.bin", ModuleImage211(true))
        .OutFile("panelr.mmi", std::string(panel.begin(), panel.end()));
    ResetProcessFlags();
  }
  void TearDown() override {
    if (dialog_.Joinable()) {
      if (testsupport::WindowExists(window_)) PostMessageA(window_, WM_UPDATE_CLOSE, 0, 0);
      EXPECT_TRUE(dialog_.Join(testsupport::kUiWaitMs));
    }
    theProcessContext.Release();
    SearchDllsIn({});
    SetTraceLogPath("");
  }

  void Open(const benchctl::BenchSpec& spec) {
    ASSERT_TRUE(package_.Write());
    bench_ = benchctl::UseBench(folder_.Path(), spec);
    ASSERT_FALSE(bench_.empty());
    OpenDialog();
  }
  // Kestor started on the bench as it is, up to Update Possible.
  void OpenDialog() {
    closed_ = false;
    ErrorTextIndex = 0;
    exitRequested = false;
    g_bExitThreadDone = false;
    updateInstalled = false;
    theProcessContext.Release();
    SearchDllsIn(testsupport::ProgramDir());
    auto environment = std::make_unique<SystemEnvironment>();
    environment->SetUsbHostFunctions(UsbHostOf(pc_));
    theProcessContext.Adopt(std::move(environment),
                            std::make_unique<UpdateConfig>(package_.AppFolder()),
                            std::make_unique<DeviceUpdater>(std::vector<std::string>{}));
    dialog_.Start([this] {
      UpdateManagerDialog dialog;
      dialog.DoModal();
      closed_ = true;
    });
    window_ = testsupport::WaitForWindow("Kestor", GetCurrentProcessId());
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(Eventually([&] { return ControlText(window_, IDC_DEV_STATUS) == kReady; }))
        << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n"
        << DebugLog();
  }
  void Start() { ASSERT_TRUE(testsupport::ClickButton(window_, IDC_START_BUTTON)); }
  bool Shows(const std::string& status) {
    return Eventually([&] { return ControlText(window_, IDC_DEV_STATUS) == status; });
  }
  bool ExitAndClose() {
    if (!testsupport::ClickButtonByText(window_, "E&xit")) return false;
    return Closed();
  }
  bool Closed() {
    return Eventually([&] { return closed_.load(); }) && dialog_.Join(testsupport::kUiWaitMs);
  }
  std::string StepCell(int row, int column) {
    char text[64] = "";
    ListView_GetItemText(GetDlgItem(window_, IDC_STEP_LIST), row, column, text, sizeof text);
    return text;
  }
  static std::string Plain(const std::string& text) {
    std::string plain;
    for (char c : text)
      if (c != '\r') plain += c;
    return plain;
  }
  std::string DebugLog() { return Plain(testsupport::ReadFileOr(folder_ / "LM_Logfile.txt")); }
  std::string UpdateLog() {
    return Plain(testsupport::ReadFileOr(folder_ / "Kestor_log\\Kestor.log"));
  }
  // What the bench's device holds: the module's image version in flash and
  // its mode, the panel's revision, the supply's release.
  std::string DeviceLeft() {
    const std::vector<uint8_t> flash = benchctl::ReadFlash(bench_, 1);
    std::string image = "old";
    if (flash.size() >= 0x104 && flash[0x100] == 0x02 && flash[0x102] == 0x0B) image = "2.11";
    const std::string mode = benchctl::ReadState(bench_, "Device1", "Mode");
    const std::string block = benchctl::ReadState(bench_, "Device0", "SupplyBlock");
    return "module " + image + (mode.empty() ? "" : " (" + mode + ")") + ", panel " +
           benchctl::ReadState(bench_, "Device0", "PanelRevision") + ", release " +
           (block.size() >= 300 * 3 ? block.substr(298 * 3, 5) : "12");
  }
  // The second run on the same bench completes the update.
  void SecondRunCompletes(bool recovers) {
    OpenDialog();
    if (HasFatalFailure()) return;
    // A first run that wrote the release leaves the package's release
    // installed: the technician installs it again.
    testsupport::MessageBoxAnswerer sameRelease({{"Kestor", "identical", IDYES}},
                                                GetCurrentProcessId());
    Start();
    ASSERT_TRUE(Shows(kInstalled)) << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n"
                                   << DebugLog();
    EXPECT_EQ(DeviceLeft(), "module 2.11, panel 1.05, release 0D 00");
    EXPECT_TRUE(testsupport::ReadFileOr(bench_ + ".panel0\\_flash_front.bin") == panelPayload_)
        << "the panel holds the package's file";
    EXPECT_EQ(
        DebugLog().find("Device in update mode: power supply steps first") != std::string::npos,
        recovers)
        << DebugLog();
    ASSERT_TRUE(ExitAndClose());
  }
  // The first run's end as the window, the error index and the logs show it.
  void ExpectFirstRunEnd(const Interruption& row) {
    EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(StepCell(r, 1), row.steps[r]) << "step row " << r;
  }
  void ExpectLogsWhole(const Interruption& row) {
    const std::string log = UpdateLog();
    EXPECT_NE(log.find(std::string("following Error occured:\n") + row.status), std::string::npos)
        << log;
    size_t runs = 0;
    for (size_t at = log.find("Kestor Logfile\n"); at != std::string::npos;
         at = log.find("Kestor Logfile\n", at + 1))
      ++runs;
    EXPECT_EQ(runs, 2u) << "both runs reached the update log\n" << log;
    size_t closed = 0;
    for (size_t at = log.find("Updater Closed!"); at != std::string::npos;
         at = log.find("Updater Closed!", at + 1))
      ++closed;
    EXPECT_EQ(closed, 2u) << "both runs closed their logs";
    EXPECT_NE(log.find("All UpdateSteps successful! Writing new Revision 1.3\n"), std::string::npos)
        << log;
  }

  testsupport::TestFolder folder_;
  kestortest::PackageBuilder package_{folder_ / "package"};
  UsbHostPc pc_;
  lm::Thread dialog_;
  std::atomic<bool> closed_{false};
  HWND window_ = nullptr;
  std::string bench_;
  std::string panelPayload_;
};

const char kFinished[] = "Update finished";
const char kError[] = "Update error";
const char kCanceled[] = "Update canceled";
const char kUpdating[] = "Updating...";

// Faults that end the run by themselves; the power stays off for 200 s of
// the bench clock, longer than every wait of the run.
const Interruption kFaults[] = {
    {"PowerLostAfterTheModuleStep",
     {},
     {"Device=1 Operation=VendorRequestIn FacId=0x1010 After=1 Action=PowerLoss OffMs=200000"},
     kNoDevice,
     ERRTEXT_NO_DEVICE,
     {kUpdating, "Ready for update", "Ready for update"},
     "module 2.11, panel 1.02, release 12"},
    {"PowerLostInTheMiddleOfThePanelsFile",
     {},
     {"Device=0 Operation=VendorRequestOut FacId=0x2180 Command=0x4020 After=1 Action=PowerLoss "
      "OffMs=200000"},
     kDisconnected,
     ERRTEXT_DISCONNECTED,
     {kFinished, kError, kCanceled},
     "module 2.11, panel 1.02, release 12"},
    {"PowerLostAfterTheMmiStep",
     {},
     {"Device=0 Operation=VendorRequestOut FacId=0x2222 Action=PowerLoss OffMs=200000"},
     kNoDevice,
     ERRTEXT_NO_DEVICE,
     {kFinished, kUpdating, "Ready for update"},
     "module 2.11, panel 1.05, release 12"},
    {"PowerLostAfterTheReleaseStep",
     {},
     {"Device=0 Operation=VendorRequestOut FacId=0x2210 Action=PowerLoss OffMs=200000"},
     kNoDevice,
     ERRTEXT_NO_DEVICE,
     {kFinished, kFinished, kUpdating},
     "module 2.11, panel 1.05, release 0D 00"},
    {"PanelRefusesTheStop",
     {{"StopRefused", "16"}},
     {},
     kFailed,
     ERRTEXT_UPDATE_FAILED,
     {kFinished, kError, kCanceled},
     "module 2.11, panel 1.02, release 12"},
    {"PanelRefusesTheHeader",
     {{"Replies.4021", "C3*30 33"}},
     {},
     kFailed,
     ERRTEXT_UPDATE_FAILED,
     {kFinished, kError, kCanceled},
     "module 2.11, panel 1.02, release 12"},
    {"PanelRefusesADataPacket",
     {{"Replies.4020", "33 C2*30 33"}},
     {},
     kFailed,
     ERRTEXT_UPDATE_FAILED,
     {kFinished, kError, kCanceled},
     "module 2.11, panel 1.02, release 12"},
    {"PanelSilentAfterExecute",
     {{"ExecuteSilent", "1"}},
     {},
     kFailed,
     ERRTEXT_UPDATE_FAILED,
     {kFinished, kError, kCanceled},
     "module 2.11, panel 1.02, release 12",
     1000},
};

class FaultRow : public UpdateInterruptions, public ::testing::WithParamInterface<Interruption> {};

TEST_P(FaultRow, EndsInItsErrorAndASecondRunCompletes) {
  const Interruption& row = GetParam();
  benchctl::BenchSpec spec = Tr440(row.timeScale);
  for (const auto& [key, value] : row.supplyKeys) spec.WithDevice(0, key, value);
  for (const std::string& fault : row.faults) spec.Fault(fault);
  Open(spec);
  if (HasFatalFailure()) return;
  // A packet the panel leaves unanswered past its timer shows the dialog's box.
  testsupport::MessageBoxAnswerer answerer({{"Kestor", "did not respond", IDOK}},
                                           GetCurrentProcessId(), IDOK);
  Start();
  ASSERT_TRUE(Shows(row.status)) << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n"
                                 << DebugLog();
  ExpectFirstRunEnd(row);
  EXPECT_EQ(DeviceLeft(), row.left);
  ASSERT_TRUE(ExitAndClose());
  SecondRunCompletes(false);
  ExpectLogsWhole(row);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultRow, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Interruption>& info) {
                           return std::string(info.param.name);
                         });

// Exit pressed while a step runs: the user stops the update; a running
// programming file is finished first. Each step is held long enough on the
// bench (an erase that stays busy, the panel's restart, a panel that boots
// slowly) for the press to land in it; the window closes by itself.
struct ExitRow {
  const char* name;
  int step;  // the step row Exit is pressed in
  std::vector<std::pair<std::string, std::string>> supplyKeys, deviceKeys;
  bool flashing;  // Exit comes while a programming file runs
  const char* steps[3];
  const char* left;
};

const ExitRow kExits[] = {
    {"ExitInTheModuleStep",
     0,
     {},
     {{"RebootMs", "30000"}},
     true,
     {kCanceled, kCanceled, kCanceled},
     "module 2.11, panel 1.02, release 12"},
    {"ExitInTheMmiStep",
     1,
     {},
     {},
     false,
     {kFinished, kCanceled, kCanceled},
     "module 2.11, panel 1.02, release 12"},
    {"ExitInTheReleaseStep",
     2,
     {{"PanelBootMs", "60000"}},
     {},
     false,
     {kFinished, kFinished, kCanceled},
     "module 2.11, panel 1.05, release 12"},
};

class ExitPressed : public UpdateInterruptions, public ::testing::WithParamInterface<ExitRow> {};

TEST_P(ExitPressed, EndsCancelledAndASecondRunCompletes) {
  const ExitRow& row = GetParam();
  benchctl::BenchSpec spec = Tr440(10);
  for (const auto& [key, value] : row.supplyKeys) spec.WithDevice(0, key, value);
  for (const auto& [key, value] : row.deviceKeys) spec.WithDevice(1, key, value);
  Open(spec);
  if (HasFatalFailure()) return;
  testsupport::MessageBoxAnswerer answerer(
      {{"", "Do you really want to close", IDYES}, {"", "Unable to cancel", IDOK}},
      GetCurrentProcessId(), IDOK);
  Start();
  ASSERT_TRUE(Eventually([&] { return StepCell(row.step, 1) == kUpdating; }));
  if (row.flashing) {
    // The erase has begun: the programming file runs.
    ASSERT_TRUE(Eventually([] { return !benchctl::CallRecord("FacId=0x0331").empty(); }));
  }
  ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
  ASSERT_TRUE(Closed()) << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n" << DebugLog();
  EXPECT_EQ(ErrorTextIndex.load(), ERRTEXT_CANCELLED);
  const auto seen = answerer.Seen();
  ASSERT_GE(seen.size(), 1u);
  EXPECT_EQ(seen[0].text,
            "Do you really want to close the application? This will leave the instrument in an "
            "undefined state!");
  EXPECT_EQ(seen.size() > 1 && seen[1].text.find("Unable to cancel the update process at this "
                                                 "update step!") == 0,
            row.flashing);
  EXPECT_EQ(DeviceLeft(), row.left) << DebugLog();
  Interruption shown{row.name, {}, {}, kCancelled, ERRTEXT_CANCELLED, {}, row.left};
  SecondRunCompletes(false);
  ExpectLogsWhole(shown);
}

// Kestor's process killed while it programs the module (a crash, the task
// manager, the PC losing power): the device stays in its safe mode, and the
// next run of Kestor.exe finds it in its update mode and finishes the update.
TEST_F(UpdateInterruptions, KilledWhileProgrammingThenStartedAgain) {
  ASSERT_TRUE(package_.WithCorvel().WriteWithKestor());
  for (const char* dll : {"Tessaro.dll", "qlinkx.dll"})
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::ProgramDir() + "\\" + dll,
                                        package_.AppFolder() + dll));
  benchctl::BenchSpec spec = Tr440(10);
  // The erase stays busy for most of the time the device allows it.
  spec.WithDevice(1, "FlashBusyMs.0331", "1500");
  // The PC's USB 1.1 and enabled USB 2.0 host controllers, for Kestor.exe.
  bench_ = folder_ / "bench.ini";
  ASSERT_TRUE(testsupport::WriteFile(
      bench_, spec.Text() +
                  "[SetupTree]\r\nNodes=1,2\r\nHostControllerNames=\\\\.\\HCD0\r\n"
                  "[Node.1]\r\nHardwareIds=PCI\\VEN_8086&DEV_24C2\r\nService=usbuhci\r\n"
                  "[Node.2]\r\nHardwareIds=PCI\\VEN_8086&DEV_24CD\r\nService=usbehci\r\n"));
  ASSERT_TRUE(benchctl::Activate(bench_));
  const std::map<std::string, std::string> environment = {
      {"TEMP", folder_.Path()}, {"TMP", folder_.Path()}, {"LUMETRA_BENCH", bench_}};
  {
    testsupport::ChildProcess killed;
    ASSERT_TRUE(killed.Start(package_.KestorPath(), "-a", "", environment));
    // Killed once the module is back in its safe mode: its flash is erased
    // and programmed there.
    const bool safe =
        Eventually([&] { return benchctl::ReadState(bench_, "Device1", "Mode") == "boot"; });
    killed.Kill();
    ASSERT_TRUE(safe) << DebugLog();
  }
  EXPECT_EQ(benchctl::ReadState(bench_, "Device1", "Mode"), "boot");
  // Its flash as far as the killed run got; the rest old.
  const std::string left = DeviceLeft();
  EXPECT_NE(left.find(" (boot), panel 1.02, release 12"), std::string::npos) << left;

  testsupport::ChildProcess next;
  ASSERT_TRUE(next.Start(package_.KestorPath(), "-a", "", environment));
  testsupport::MessageBoxAnswerer answerer({{"", "", IDOK}}, next.Pid());
  ASSERT_TRUE(next.Wait(120000)) << "the second run did not end\n" << DebugLog();
  EXPECT_EQ(next.ExitCode(), 0u);
  EXPECT_EQ(DeviceLeft(), "module 2.11, panel 1.05, release 0D 00")
      << testsupport::ReadFileOr(package_.AppFolder() + "Tessaro.log");
  EXPECT_TRUE(answerer.Seen().empty()) << answerer.Seen()[0].text;
  const std::string log = UpdateLog();
  // The killed run's log is archived by the next run, which recovers.
  EXPECT_NE(log.find("Modul or Powersupply in shortUSB, starting with PS-Update..."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Device in update mode: power supply steps first"), std::string::npos) << log;
  EXPECT_NE(log.find("All UpdateSteps successful! Writing new Revision 1.3\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Updater Closed!"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Matrix, ExitPressed, ::testing::ValuesIn(kExits),
                         [](const ::testing::TestParamInfo<ExitRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
