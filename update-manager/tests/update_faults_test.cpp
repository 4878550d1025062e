// Faults during the update, one row each, through Kestor's real window, the
// real Tessaro.dll and the bench: the run ends in its own error text (window
// and update log), the logs are whole, the device is left old, new or
// recoverable, and a second run of Kestor on the same bench, after the fault
// is gone, completes the update (through the recovery pass when the device
// was left in its update mode).
#include "benchctl/bench_flash.h"
#include "kestor_on_bench.h"
#include "sample_package.h"

namespace {

const bool kBench = benchctl::BenchFromTheStart();

using namespace kestortest;
using testsupport::ControlText;

const char kDisconnected[] =
    "Error - Device was disconnected during the update process: Please restart the application!";
const char kUpdateFailed[] =
    "Error - The update process was not successful: Please restart the application to finish the "
    "update!";

// What a fault leaves in the instrument.
enum class Left {
  Old,          // the old firmware, in its normal mode
  Recoverable,  // in its update (boot) mode: the next run starts with the recovery pass
  New,          // the new firmware in place, in its normal mode
};

const char* Name(Left left) {
  switch (left) {
    case Left::Old:
      return "old";
    case Left::Recoverable:
      return "recoverable";
    case Left::New:
      return "new";
  }
  return "?";
}

struct FaultRow {
  const char* name;
  std::vector<std::string> faults;  // bench fault rules of the first run
  // Device keys of the first run: {slot, key, value}; the technician's fix
  // takes them away again before the second run.
  std::vector<std::vector<std::string>> keys;
  int errorIndex;
  Left left;
  int failedStep;  // the step that shows "Update error"
};

// Each flash request of the module's program file, in the order it goes out:
// the reboot test (marker set, reboot, marker cleared, reboot), the marker
// and the reboot into the boot code, autoselect, the sector erases, program,
// verify, the marker cleared and the reboot into the firmware.
std::string AtRequest(const char* facId, int after, const char* action) {
  return std::string("Device=1 Operation=VendorRequestOut FacId=") + facId +
         " After=" + std::to_string(after) + " Action=" + action;
}

// Flash status reads of the instrument before the first one that follows
// the program request (the operations before it answer busy once each).
constexpr int kStatusReadsBeforeProgram = 12;

std::string StatusReads(const std::string& rule) {
  return "Device=1 Operation=VendorRequestIn FacId=0x0300 After=" +
         std::to_string(kStatusReadsBeforeProgram) + " Times=0 " + rule;
}

const FaultRow kRows[] = {
    {"UnpluggedAtTheRebootTestsMarker", {AtRequest("0x0316", 0, "Unplug")}, {}, 14, Left::Old, 0},
    {"UnpluggedAtTheSafeModeMarker", {AtRequest("0x0316", 4, "Unplug")}, {}, 14, Left::Old, 0},
    {"UnpluggedAtTheRebootIntoBootCode", {AtRequest("0x0316", 5, "Unplug")}, {}, 14, Left::Old, 0},
    {"UnpluggedAtAutoselect", {AtRequest("0x0320", 0, "Unplug")}, {}, 14, Left::Recoverable, 0},
    {"UnpluggedAtSectorErase", {AtRequest("0x0331", 0, "Unplug")}, {}, 14, Left::Recoverable, 0},
    {"UnpluggedAtProgram", {AtRequest("0x0340", 0, "Unplug")}, {}, 14, Left::Recoverable, 0},
    {"UnpluggedAtVerify", {AtRequest("0x0350", 0, "Unplug")}, {}, 14, Left::Recoverable, 0},
    {"UnpluggedAtClearingTheMarker",
     {AtRequest("0x0316", 6, "Unplug")},
     {},
     14,
     Left::Recoverable,
     0},
    {"UnpluggedAtTheRebootIntoFirmware",
     {AtRequest("0x0316", 7, "Unplug")},
     {},
     14,
     Left::Recoverable,
     0},
    {"ProgramRequestUnanswered",
     {AtRequest("0x0340", 0, "NoAnswer") + " Times=0"},
     {},
     16,
     Left::Recoverable,
     0},
    {"FlashStatusUnanswered", {StatusReads("Action=NoAnswer")}, {}, 16, Left::Recoverable, 0},
    {"FlashStatusWithABadCrc",
     {StatusReads("Action=Malformed Data=4200000100000000")},
     {},
     16,
     Left::Recoverable,
     0},
    {"DeviceReportsABadCrc", {}, {{"1", "FlashAnswer.0340", "0x0002"}}, 16, Left::Recoverable, 0},
    {"BusyThatNeverEnds",
     {StatusReads("Action=Malformed Data=4100000000002FB0")},
     {},
     16,
     Left::Recoverable,
     0},
    {"SupplyRebootsBackWithin200ms",
     {AtRequest("0x0340", 0, "RebootSupply")},
     {{"0", "RebootMs", "100"}},
     16,
     Left::Recoverable,
     0},
    {"SupplyRebootsBackLater",
     {AtRequest("0x0340", 0, "RebootSupply")},
     {{"0", "RebootMs", "600000"}},
     14,
     Left::Recoverable,
     0},
    {"SupplyRebootsNeverBack",
     {AtRequest("0x0340", 0, "RebootSupply")},
     {{"0", "RebootFault", "NoReturn"}},
     14,
     Left::Recoverable,
     0},
    {"ReleaseWriteRefused",
     {"Operation=VendorRequestOut FacId=0x2210 Action=Status Status=0xE0000004 Times=0"},
     {},
     16,
     Left::New,
     2},
};

class UpdateFault : public UpdateRunOnBench, public ::testing::WithParamInterface<FaultRow> {
 protected:
  // The instrument's state as the bench holds it now.
  std::string LeftText() {
    const bool image = FlashHolds(bench_, 1, ModuleFirmwareSpec());
    const bool boot = benchctl::ReadState(bench_, "Device1", "Mode") == "boot";
    if (boot) return "recoverable";
    return image ? "new" : "old";
  }
  std::string UpdateLog() { return testsupport::ReadFileOr(folder_ / "Kestor_log\\Kestor.log"); }
};

TEST_P(UpdateFault, EndsInItsErrorAndASecondRunCompletesTheUpdate) {
  const FaultRow& row = GetParam();
  benchctl::BenchSpec spec = Tr440WithFlash();
  for (const std::string& fault : row.faults) spec.Fault(fault);
  std::vector<std::string> fixedKeys;
  for (const auto& key : row.keys) {
    spec.WithDevice(std::stoi(key[0]), key[1], key[2]);
    fixedKeys.push_back(key[1]);
  }
  Open(spec);
  bench_ = folder_ / "bench.ini";
  const std::string text = row.errorIndex == 14 ? kDisconnected : kUpdateFailed;

  Update(text);
  EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
  for (int step = 0; step < 3; ++step)
    EXPECT_EQ(StepCell(step, 1), step < row.failedStep    ? "Update finished"
                                 : step == row.failedStep ? "Update error"
                                                          : "Update canceled")
        << "step " << step;
  EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "SupplyBlock"), "") << "no release written";
  EXPECT_EQ(LeftText(), Name(row.left));
  ASSERT_TRUE(ExitAndClose());
  // The run's whole log reached the update log, the error text with it.
  const std::string archived = UpdateLog();
  EXPECT_NE(archived.find("following Error occured:\r\n" + text), std::string::npos) << archived;
  EXPECT_NE(archived.find("Updater Closed!"), std::string::npos) << archived;

  ASSERT_TRUE(benchctl::EndFaults(bench_, fixedKeys));
  // A device left in its safe mode makes the flash library ask whether to
  // stop; the technician goes on.
  testsupport::MessageBoxAnswerer answerer({{"Tessaro", "Device is in SAFE mode.", IDNO}},
                                           GetCurrentProcessId());
  OpenDialog();
  Update(kInstalled);
  EXPECT_EQ(answerer.Seen().size(), row.left == Left::Recoverable ? 1u : 0u);
  EXPECT_EQ(ErrorTextIndex.load(), 0);
  EXPECT_EQ(LeftText(), "new");
  EXPECT_EQ(SupplyBlockField(298, 6), "0D00980B0000") << "release 1.3 of 24.12.2005 written";
  if (row.left == Left::Recoverable) {
    EXPECT_NE(DebugLog().find("Device in update mode: power supply steps first\n"),
              std::string::npos)
        << DebugLog();
  }
  ASSERT_TRUE(ExitAndClose());
}

INSTANTIATE_TEST_SUITE_P(Module, UpdateFault, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
