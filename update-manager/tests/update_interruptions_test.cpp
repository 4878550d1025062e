// The update run interrupted on the bench, through Kestor's real window and
// Tessaro.dll: the power lost after a step or in the middle of the front
// panel's file, the panel refusing what it is sent or keeping silent after an
// execute, the supply exchanged before the release is written, Cancel
// confirmed while the supply restarts, Exit pressed in a step, Kestor's
// process killed while it programs.
// Each row ends in its own error text, in the window and in the update log,
// leaves the device old, new or in its update mode, and a second run of
// Kestor on the same bench finishes the update.
#include <iterator>
#include <map>
#include <optional>

#include "hwport/clock.h"
#include "kestor_on_bench.h"
#include "sample_package.h"
#include "testsupport/process.h"

namespace {

const bool kBench = benchctl::BenchFromTheStart();

using kestortest::Eventually;
using kestortest::kInstalled;
using testsupport::ControlText;

const char kNoDevice[] =
    "Error - No supported Lumetra device found: Please connect instrument to USB port!";
const char kDisconnected[] =
    "Error - Device was disconnected during the update process: Please restart the application!";
const char kCancelled[] =
    "Update cancelled by user: Please restart the application to finish the update!";
const char kFailed[] =
    "Error - The update process was not successful: Please restart the application to finish the "
    "update!";

// What the technician does while the first run goes on, besides the faults
// the bench makes by itself.
enum class During {
  Nothing,
  // Once the release step waits for the supply's booting panel, the supply
  // is exchanged, with its instrument, for the bench's other one (slots 2
  // and 3): another serial number and supply id, the package's firmware and
  // an older release.
  ExchangeTheSupply,
  // Once the step bar of the row's cancel step moves through a wait that
  // shows the row's waiting text, Cancel is pressed and confirmed.
  Cancel,
};

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
  During during = During::Nothing;
  // The package's REBOOT_WAIT, the supply's restart after the panel's files
  // (bench clock).
  int rebootWaitMs = 10000;
  const char* logged = "";  // a line of the first run's log
  // During::Cancel: the step row it comes in, and the start of the step text
  // that wait shows.
  int cancelStep = 1;
  const char* waitingText = "Waiting for device ( ";
  // How often the first run rebooted the supply (-1: not counted).
  int supplyReboots = -1;
};

// A confirmed cancel ends the run this soon, bench clock: the waits look
// for it every 100 ms; the rest is the window's and the test's own
// polling (at TimeScale 10, a second of the wall), far below the waits
// it cuts short.
constexpr DWORD kCancelEndsWithinMs = 10000;

const char kFinished[] = "Update finished";
const char kError[] = "Update error";
const char kCanceled[] = "Update canceled";
const char kUpdating[] = "Updating...";

class UpdateInterruptions : public kestortest::UpdateRunOnBench {
 protected:
  void SetUp() override {
    UpdateRunOnBench::SetUp();
    // The supply's reboot after the panel's files: 10 s of the bench clock.
    package_.Set("DEBUG", "REBOOT_WAIT", "10000");
  }
  void Open(const benchctl::BenchSpec& spec) {
    UpdateRunOnBench::Open(spec);
    bench_ = folder_ / "bench.ini";
  }
  void Start() { ASSERT_TRUE(testsupport::ClickButton(window_, IDC_START_BUTTON)); }
  // The first run's end. The silent execute takes the longest: its 9999
  // polls of the panel go at the host's pace, whatever the bench's clock, so
  // a loaded machine may take minutes over them.
  ::testing::AssertionResult Shows(const std::string& status, const char* file = __builtin_FILE(),
                                   int line = __builtin_LINE()) {
    auto shown = [&] { return ControlText(window_, IDC_DEV_STATUS) == status; };
    return Eventually(shown, 20 * kestortest::kEventuallyMs, file, line);
  }
  bool Closed() {
    auto closed = [&] { return closed_.load(); };
    return Eventually(closed, 2 * kestortest::kEventuallyMs) &&
           dialog_.Join(testsupport::kUiWaitMs);
  }
  static std::string Plain(const std::string& text) {
    std::string plain;
    for (char c : text)
      if (c != '\r') plain += c;
    return plain;
  }
  LRESULT StepBar() { return SendDlgItemMessageA(window_, IDC_STEP_PROGRESS, PBM_GETPOS, 0, 0); }
  std::string UpdateLog() {
    return Plain(testsupport::ReadFileOr(folder_ / "Kestor_log\\Kestor.log"));
  }
  // What the bench's device holds: the module's image version in flash and
  // its mode, the panel's revision, the supply's release.
  std::string DeviceLeft() {
    const std::string mode = benchctl::ReadState(bench_, "Device1", "Mode");
    const std::string block = benchctl::ReadState(bench_, "Device0", "SupplyBlock");
    return "module " + kestortest::FlashImageVersion(bench_, 1) +
           (mode.empty() ? "" : " (" + mode + ")") + ", panel " +
           benchctl::ReadState(bench_, "Device0", "PanelRevision") + ", release " +
           (block.size() >= 300 * 3 ? block.substr(298 * 3, 5) : "12");
  }
  // The answers of a technician who presses Exit while the update runs, and
  // who waits on when a loaded machine's programming file outlasts the exit
  // wait.
  static std::vector<testsupport::ScriptedAnswer> ExitAnswers() {
    return {{"", "Do you really want to close", IDYES},
            {"", "Unable to cancel", IDOK},
            {"", kWaitQuestion, IDYES}};
  }
  // The boxes answered, without the exit wait's question.
  static std::vector<testsupport::AnsweredBox> Asked(
      const testsupport::MessageBoxAnswerer& answerer) {
    std::vector<testsupport::AnsweredBox> asked;
    for (const auto& box : answerer.Seen())
      if (box.text.find(kWaitQuestion) == std::string::npos) asked.push_back(box);
    return asked;
  }
  static constexpr char kWaitQuestion[] = "A thread did not end correctly, want to wait 2 minutes?";
  // Starts the update and presses Exit once step row `step` runs (with
  // `erasing`, once its erase has begun); the window closes canceled, the
  // first box having asked whether to close.
  void ExitDuring(int step, bool erasing, const testsupport::MessageBoxAnswerer& answerer) {
    Start();
    ASSERT_TRUE(Eventually([&] { return StepCell(step, 1) == kUpdating; }));
    if (erasing) {
      // The erase has begun: the programming file runs.
      ASSERT_TRUE(Eventually([] { return !benchctl::CallRecord("FacId=0x0331").empty(); }));
    }
    ASSERT_TRUE(testsupport::ClickButtonByText(window_, "E&xit"));
    ASSERT_TRUE(Closed()) << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n"
                          << DebugLog();
    EXPECT_EQ(ErrorTextIndex.load(), ERRTEXT_CANCELLED);
    const auto seen = Asked(answerer);
    ASSERT_GE(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              "Do you really want to close the application? This will leave the instrument in an "
              "undefined state!");
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
  // Both runs' debug logs, whole: the interrupted run's and the one that
  // completes the update.
  void ExpectDebugLogs(const std::string& row, const std::string& firstRun,
                       bool breakCodes = true) {
    EXPECT_TRUE(DebugLogAsExpected(firstRun + "\n----- second run -----\n" + DebugLog(),
                                   "interruptions/" + row + ".txt", breakCodes));
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
};

// A REBOOT_WAIT that no test outlasts (bench clock; 6 minutes of the wall
// at TimeScale 10).
constexpr int kRestartWaitedForAnHour = 3600000;

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
    // The supply restarts by itself and is back after its RebootMs; its
    // panel boots again and has lost the file's header and first packet, so
    // none of the retried packet's tries is taken.
    {"SupplyRebootsInTheMiddleOfThePanelsFile",
     {},
     {"Device=0 Operation=VendorRequestOut FacId=0x2180 Command=0x4020 After=1 "
      "Action=RebootSupply"},
     kFailed,
     ERRTEXT_UPDATE_FAILED,
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
     {kFinished, kFinished, kError},
     "module 2.11, panel 1.05, release 0D 00"},
    // The release goes to the supply the run began with, or to none.
    {"SupplyExchangedWhileThePanelRestarts",
     {{"PanelBootMs", "150000"}},
     {},
     kNoDevice,
     ERRTEXT_NO_DEVICE,
     {kFinished, kFinished, kError},
     "module 2.11, panel 1.05, release 12",
     10,
     During::ExchangeTheSupply,
     10000,
     "Powersupply 0000004712 is not the one found at the start (0000004711): Revisiondata not "
     "written!\n"},
    // The supply's restart is waited for far longer than the test takes to
    // see it back and confirm Cancel, however slow the machine: only the
    // cancel ends that wait.
    {"CancelConfirmedWhileTheSupplyRestarts",
     {},
     {},
     kCancelled,
     ERRTEXT_CANCELLED,
     {kFinished, kCanceled, kCanceled},
     "module 2.11, panel 1.05, release 12",
     10,
     During::Cancel,
     kRestartWaitedForAnHour,
     "",
     1,
     "Waiting for device ( ",
     1},
    // The release step's wait for the booting panel: the cancelled step ends
    // canceled, as every cancelled step does.
    {"CancelConfirmedWhileThePanelBootsForTheRelease",
     {{"PanelBootMs", "60000"}},
     {},
     kCancelled,
     ERRTEXT_CANCELLED,
     {kFinished, kFinished, kCanceled},
     "module 2.11, panel 1.05, release 12",
     10,
     During::Cancel,
     10000,
     "",
     2,
     "Device is booting..."},
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
  benchctl::BenchSpec spec = kestortest::Tr440WithFlash().TimeScale(row.timeScale);
  for (const auto& [key, value] : row.supplyKeys) spec.WithDevice(0, key, value);
  for (const std::string& fault : row.faults) spec.Fault(fault);
  if (row.during == During::ExchangeTheSupply) {
    spec.Supply(16, "0000004712")
        .With("SupplyId", "4712")
        .With("Release", "12")
        .With("ReleaseDate", "2968")
        .With("PanelRevision", "1.05")
        .With("Present", "0")
        .Instrument(5, "0000001002")
        .With("Parent", "2")
        .With("Version", "2.11")
        .With("Present", "0");
  }
  package_.Set("DEBUG", "REBOOT_WAIT", std::to_string(row.rebootWaitMs));
  Open(spec);
  if (HasFatalFailure()) return;
  std::optional<testsupport::MessageBoxAnswerer> confirm;
  if (row.during == During::Cancel)
    confirm.emplace(std::vector<testsupport::ScriptedAnswer>{{"", "cancel the Update", IDYES}},
                    GetCurrentProcessId());
  Start();
  DWORD confirmedAt = 0;
  switch (row.during) {
    case During::Nothing:
      break;
    case During::ExchangeTheSupply:
      ASSERT_TRUE(Eventually([&] { return StepCell(2, 1) == kUpdating; })) << DebugLog();
      ASSERT_TRUE(benchctl::RemoveDevice(0));
      ASSERT_TRUE(benchctl::ArriveDevice(2));
      break;
    case During::Cancel: {
      // The step says what it waits for, and its bar moves through the wait.
      auto waiting = [&] {
        return ControlText(window_, IDC_STEP_TEXT).rfind(row.waitingText, 0) == 0;
      };
      LRESULT first = 0;
      ASSERT_TRUE(Eventually([&] {
        first = StepBar();
        return StepCell(row.cancelStep, 1) == kUpdating && waiting() && first < 10000;
      })) << "step: "
          << ControlText(window_, IDC_STEP_TEXT)
          << ", shows: " << ControlText(window_, IDC_DEV_STATUS);
      ASSERT_TRUE(Eventually([&] { return waiting() && StepBar() > first; }))
          << "step: " << ControlText(window_, IDC_STEP_TEXT);
      // A supply that restarts is back on the bus before Cancel is pressed.
      ASSERT_TRUE(Eventually([] {
        const auto moves = benchctl::CallRecord("device 0 ");
        for (auto line = moves.rbegin(); line != moves.rend(); ++line) {
          if (line->find(" arrived") != std::string::npos) return true;
          if (line->find(" removed") != std::string::npos) return false;
        }
        return true;
      }));
      ASSERT_TRUE(testsupport::ClickButtonByText(window_, "Cancel &Update"));
      // Confirmed once the question, answered Yes, is gone.
      size_t asked = 0;
      ASSERT_TRUE(Eventually([&] {
        const auto seen = confirm->Seen();
        for (asked = 0; asked < seen.size(); ++asked)
          if (seen[asked].buttonId == IDYES) return true;
        return false;
      }));
      ASSERT_TRUE(confirm->WaitForCount(asked + 1));
      confirmedAt = hwport::TickCount();
      EXPECT_EQ(confirm->Seen()[asked].text, "Do you really want to cancel the Update?Warning!");
      EXPECT_TRUE(Eventually([] { return CancelState() != CANCEL_STATE_RUNNING; }))
          << "the cancel was taken";
      break;
    }
  }
  ASSERT_TRUE(Shows(row.status)) << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n"
                                 << DebugLog();
  confirm.reset();
  if (row.during == During::Cancel) {
    EXPECT_LT(hwport::TickCount() - confirmedAt, kCancelEndsWithinMs)
        << "the wait ends with the cancel, not with its time";
  }
  ExpectFirstRunEnd(row);
  EXPECT_EQ(DeviceLeft(), row.left);
  if (row.supplyReboots >= 0) {
    EXPECT_EQ(benchctl::CallRecord("FacId=0x2222").size(), static_cast<size_t>(row.supplyReboots));
  }
  EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
  ASSERT_TRUE(ExitAndClose());
  ExpectDialogMessages(row.name);
  if (row.during == During::ExchangeTheSupply) {
    EXPECT_EQ(benchctl::ReadState(bench_, "Device2", "SupplyBlock"), "")
        << "nothing written to the other supply";
    EXPECT_TRUE(benchctl::CallRecord("FacId=0x2333").empty()) << "not even unlocked";
    // The technician connects the first supply again.
    ASSERT_TRUE(benchctl::EndFaults(bench_, {"PanelBootMs"}));
  }
  const std::string firstRun = DebugLog();
  // The second run waits for a restart as long as the suite's other runs.
  package_.Set("DEBUG", "REBOOT_WAIT", "10000");
  ASSERT_TRUE(package_.Write());
  SecondRunCompletes(false);
  // A supply that restarts by itself answers the panel's packets as far as
  // its panel has booted.
  bool restarts = false;
  for (const std::string& fault : row.faults)
    restarts = restarts || fault.find("Action=RebootSupply") != std::string::npos;
  ExpectDebugLogs(row.name, firstRun, !restarts);
  ExpectLogsWhole(row);
  EXPECT_NE(UpdateLog().find(row.logged), std::string::npos) << UpdateLog();
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultRow, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Interruption>& info) {
                           return std::string(info.param.name);
                         });

// Exit pressed while a step runs: the user stops the update; a running
// programming file is finished first. Each step is held long enough on the
// bench (an erase that stays busy, a panel slow to run the executed file, a
// panel that boots slowly) for the press to land in it; the window closes by
// itself.
struct ExitRow {
  const char* name;
  int step;  // the step row Exit is pressed in
  std::vector<std::pair<std::string, std::string>> supplyKeys, deviceKeys;
  bool flashing;  // Exit comes while a programming file runs
  const char* steps[3];
  const char* left;
  // Where a loaded machine lands the press at the step's very end: the next
  // step is the one canceled (nullptr: the step holds long enough).
  const char* leftIfLate = nullptr;
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
     {{"PanelExecuteMs", "100000"}},
     {},
     false,
     {kFinished, kCanceled, kCanceled},
     "module 2.11, panel 1.02, release 12",
     "module 2.11, panel 1.05, release 12"},
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
  benchctl::BenchSpec spec = kestortest::Tr440WithFlash().TimeScale(10);
  for (const auto& [key, value] : row.supplyKeys) spec.WithDevice(0, key, value);
  for (const auto& [key, value] : row.deviceKeys) spec.WithDevice(1, key, value);
  Open(spec);
  if (HasFatalFailure()) return;
  // The window closes by itself: its step statuses are read as it showed
  // them last.
  kestortest::StepStatusRecord shownSteps(window_);
  ASSERT_TRUE(shownSteps.Hooked());
  {
    // The first run's answers only: the second run's questions are its own
    // (an answer of this one would decline them).
    testsupport::MessageBoxAnswerer answerer(ExitAnswers(), GetCurrentProcessId(), IDOK);
    ExitDuring(row.step, row.flashing, answerer);
    if (HasFatalFailure()) return;
    const auto seen = Asked(answerer);
    // A programming file still running is finished first, and says so; on a
    // loaded machine the file may have ended before the answer came.
    if (seen.size() > 1) {
      EXPECT_EQ(seen[1].text.find("Unable to cancel the update process at this update step!"), 0u)
          << seen[1].text;
    }
    if (!row.flashing) {
      EXPECT_EQ(seen.size(), 1u);
    }
  }
  const std::string left = DeviceLeft();
  const bool late = row.leftIfLate && left == row.leftIfLate;
  EXPECT_TRUE(left == row.left || late) << left << "\n" << DebugLog();
  std::vector<std::string> steps(std::begin(row.steps), std::end(row.steps));
  // Pressed at the step's very end, the step finished and the next one is
  // the one canceled.
  if (late) steps[row.step] = kFinished;
  EXPECT_EQ(shownSteps.Statuses(steps.size()), steps);
  Interruption shown{row.name, {}, {}, kCancelled, ERRTEXT_CANCELLED, {}, row.left};
  const std::string firstRun = DebugLog();
  // A press at the step's very end takes the other way to the end.
  if (!late) ExpectDialogMessages(row.name);
  SecondRunCompletes(false);
  ExpectDebugLogs(row.name, firstRun);
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
  benchctl::BenchSpec spec = kestortest::Tr440WithFlash().TimeScale(10);
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
  // The module in its safe mode makes the flash library ask whether to stop;
  // the technician goes on.
  testsupport::MessageBoxAnswerer answerer({{"Tessaro", "Device is in SAFE mode.", IDNO}},
                                           next.Pid(), IDOK);
  ASSERT_TRUE(next.Wait(120000)) << "the second run did not end\n" << DebugLog();
  EXPECT_EQ(next.ExitCode(), 0u);
  EXPECT_EQ(DeviceLeft(), "module 2.11, panel 1.05, release 0D 00")
      << testsupport::ReadFileOr(package_.AppFolder() + "Tessaro.log");
  const auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, "Tessaro");
  const std::string log = UpdateLog();
  // The killed run's log is archived by the next run, which recovers.
  EXPECT_NE(log.find("Modul or Powersupply in shortUSB, starting with PS-Update..."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Device in update mode: power supply steps first"), std::string::npos) << log;
  EXPECT_NE(log.find("All UpdateSteps successful! Writing new Revision 1.3\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Updater Closed!"), std::string::npos) << log;
  // The killed run's log ends wherever the kill came; the next run's is
  // pinned whole.
  EXPECT_TRUE(DebugLogAsExpected(DebugLog(), "interruptions/KilledWhileProgramming.txt"));
}

INSTANTIATE_TEST_SUITE_P(Matrix, ExitPressed, ::testing::ValuesIn(kExits),
                         [](const ::testing::TestParamInfo<ExitRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

namespace {

// Exit pressed in the power-supply step, the package's supply step between
// the module and the panel; the supply's reboots hold the step a while.
TEST_F(UpdateInterruptions, ExitInThePowerSupplyStep) {
  WithSupplyStep();
  benchctl::BenchSpec spec = kestortest::SupplyWithTr440OnFlash(10);
  spec.WithDevice(0, "RebootMs", "30000");
  Open(spec);
  if (HasFatalFailure()) return;
  {
    testsupport::MessageBoxAnswerer answerer(ExitAnswers(), GetCurrentProcessId(), IDOK);
    ExitDuring(1, false, answerer);
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(DeviceLeft(), "module 2.11, panel 1.02, release 12");
  // The supply reboots at its usual pace again.
  ASSERT_TRUE(benchctl::EndFaults(bench_, {"RebootMs"}));
  // A supply left in its safe mode makes the flash library ask whether to
  // stop; the technician goes on.
  const bool recovers = benchctl::ReadState(bench_, "Device0", "Mode") == "boot";
  testsupport::MessageBoxAnswerer safeMode({{"Tessaro", "Device is in SAFE mode.", IDNO}},
                                           GetCurrentProcessId());
  const std::string firstRun = DebugLog();
  ExpectDialogMessages("ExitInThePowerSupplyStep");
  SecondRunCompletes(recovers);
  ExpectDebugLogs("ExitInThePowerSupplyStep", firstRun);
  EXPECT_EQ(kestortest::FlashImageVersion(bench_, 0), "3.11");
  ExpectLogsWhole({"ExitInThePowerSupplyStep", {}, {}, kCancelled, ERRTEXT_CANCELLED, {}, ""});
}

}  // namespace

namespace {

// Power lost as the supply's new firmware is read back, right after the
// power-supply step.
TEST_F(UpdateInterruptions, PowerLostAfterThePowerSupplyStep) {
  WithSupplyStep();
  benchctl::BenchSpec spec = kestortest::SupplyWithTr440OnFlash(100);
  spec.Fault(
      "Device=0 Operation=VendorRequestIn FacId=0x1010 After=1 Action=PowerLoss OffMs=200000");
  Open(spec);
  if (HasFatalFailure()) return;
  Start();
  ASSERT_TRUE(Shows(kNoDevice)) << "shows: " << ControlText(window_, IDC_DEV_STATUS) << "\n"
                                << DebugLog();
  EXPECT_EQ(ErrorTextIndex.load(), ERRTEXT_NO_DEVICE);
  const char* steps[4] = {kFinished, kUpdating, "Ready for update", "Ready for update"};
  for (int r = 0; r < 4; ++r) EXPECT_EQ(StepCell(r, 1), steps[r]) << "step row " << r;
  EXPECT_EQ(kestortest::FlashImageVersion(bench_, 0), "3.11");
  EXPECT_EQ(DeviceLeft(), "module 2.11, panel 1.02, release 12");
  EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
  ASSERT_TRUE(ExitAndClose());
  const std::string firstRun = DebugLog();
  ExpectDialogMessages("PowerLostAfterThePowerSupplyStep");
  SecondRunCompletes(false);
  ExpectDebugLogs("PowerLostAfterThePowerSupplyStep", firstRun);
  ExpectLogsWhole(
      {"PowerLostAfterThePowerSupplyStep", {}, {}, kNoDevice, ERRTEXT_NO_DEVICE, {}, ""});
}

}  // namespace
