// Faults during the update, one row each, through Kestor's real window, the
// real Tessaro.dll and the bench: the run ends in its own error text (window
// and update log), the logs are whole, the device is left old, new or
// recoverable, and a second run of Kestor on the same bench, after the fault
// is gone, completes the update (through the recovery pass when the device
// was left in its update mode).
#include <algorithm>

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

// The firmware part a row's fault hits.
enum class Part {
  Module,  // the TR440's (slot 1); the package's first step
  Supply,  // the power supply's (slot 0); the second step, the module up to date
};

struct FaultRow {
  std::string name;
  Part part;
  std::vector<std::string> faults;  // bench fault rules of the first run
  // Device keys of the first run: {slot, key, value}; the technician's fix
  // takes them away again before the second run.
  std::vector<std::vector<std::string>> keys;
  int errorIndex;
  Left left;             // what the fault leaves in the part's device
  bool release = false;  // the fault hits the release step, not the part
  bool slow = false;     // the first run takes minutes of the bench's clock
  std::string logged{};  // a line the first run's debug log holds (empty: none looked for)
  // The package's module firmware: 2.<moduleMinor>, its images carrying it.
  uint16_t moduleMinor = 11;
};

int SlotOf(Part part) { return part == Part::Module ? 1 : 0; }

// The n-th request (from 0) with this FacId to the part's device. Each flash
// request of a program file, in the order it goes out: the reboot test
// (0x0316: marker set, reboot, marker cleared, reboot), the marker and the
// reboot into the boot code (0x0316), autoselect (0x0320), the sector erases
// (0x0331), program (0x0340), verify (0x0350), the marker cleared and the
// reboot into the firmware (0x0316).
std::string AtRequest(Part part, const char* facId, int n, const std::string& action) {
  return "Device=" + std::to_string(SlotOf(part)) + " Operation=VendorRequestOut FacId=" + facId +
         " After=" + std::to_string(n) + " Action=" + action;
}

// Flash status reads of the device before the first one that follows the
// program request (the six requests before it answer busy once each).
constexpr int kStatusReadsBeforeProgram = 12;

std::string StatusReads(Part part, const std::string& action) {
  return "Device=" + std::to_string(SlotOf(part)) +
         " Operation=VendorRequestIn FacId=0x0300 After=" +
         std::to_string(kStatusReadsBeforeProgram) + " Times=0 Action=" + action;
}

// The device unplugged at each flash request of a firmware part, and its
// power supply rebooting by itself while the part programs.
[[maybe_unused]] std::vector<FaultRow> RowsOf(Part part) {
  const std::string slot = std::to_string(SlotOf(part));
  auto unplugged = [&](const std::string& at, const char* facId, int n, Left left) {
    return FaultRow{"UnpluggedAt" + at, part, {AtRequest(part, facId, n, "Unplug")}, {}, 14, left};
  };
  auto rebooted = [&](const std::string& name, const std::string& delay, int error) {
    return FaultRow{name, part,  {AtRequest(part, "0x0340", 0, "RebootSupply DelayMs=" + delay)},
                    {},   error, Left::Recoverable};
  };
  // The supply's own part reboots it three times before it programs.
  const std::string rebootsBefore = part == Part::Supply ? "3" : "0";
  std::vector<FaultRow> rows = {
      unplugged("TheSafeModeMarker", "0x0316", 4, Left::Old),
      unplugged("TheRebootIntoBootCode", "0x0316", 5, Left::Old),
      unplugged("Autoselect", "0x0320", 0, Left::Recoverable),
      unplugged("SectorErase", "0x0331", 0, Left::Recoverable),
      unplugged("Program", "0x0340", 0, Left::Recoverable),
      unplugged("Verify", "0x0350", 0, Left::Recoverable),
      unplugged("ClearingTheMarker", "0x0316", 6, Left::Recoverable),
      unplugged("TheRebootIntoFirmware", "0x0316", 7, Left::Recoverable),
      rebooted("SupplyRebootsBackWithin200ms", "100", 16),
      rebooted("SupplyRebootsBackLater", "600000", 14),
      {"SupplyRebootsNeverBack",
       part,
       {AtRequest(part, "0x0340", 0, "RebootSupply")},
       {{"0", "RebootFault", "NoReturn"}, {"0", "RebootFaultAfter", rebootsBefore}},
       14,
       Left::Recoverable},
  };
  return rows;
}

// The flash requests and their answers going wrong, the same for both parts
// (the module's here), and the release step's faults at the end: the release
// write refused, the supply's block read short, the panel not ready after the
// last reboot, the module reporting another version than the package's after
// its programming.
[[maybe_unused]] std::vector<FaultRow> FlashRows() {
  const Part part = Part::Module;
  auto failed = [&](const std::string& name, std::vector<std::string> faults,
                    std::vector<std::vector<std::string>> keys) {
    return FaultRow{name, part, std::move(faults), std::move(keys), 16, Left::Recoverable};
  };
  // The library looks for the unplugged device for ten minutes of the
  // bench's clock: a long row.
  FaultRow lost{"UnpluggedAtTheRebootTestsMarker",
                part,
                {AtRequest(part, "0x0316", 0, "Unplug")},
                {},
                14,
                Left::Old};
  lost.slow = true;
  FaultRow refused{"ReleaseWriteRefused",
                   part,
                   {"Operation=VendorRequestOut FacId=0x2210 Action=Status Status=0xE0000004 "
                    "Times=0"},
                   {},
                   16,
                   Left::New};
  refused.release = true;
  // The panel boots for far longer than the release step waits for it (3
  // minutes of the bench's clock) after the supply's reboot that follows its
  // file; meanwhile it reports that it reboots (status 7).
  FaultRow panelNotReady{"PanelNotReadyAfterTheLastReboot",   part, {},
                         {{"0", "PanelBootMs", "100000000"}}, 16,   Left::New};
  panelNotReady.release = true;
  panelNotReady.logged = "Front panel not ready after 180 s (status 7)\n";
  // Programmed, the module reports firmware 2.12 where the package has 2.11.
  FaultRow otherVersion{
      "AnotherVersionAfterProgramming",
      part,
      {"Device=1 Operation=VendorRequestIn FacId=0x1010 After=1 Times=0 Action=Malformed "
       "Data=02000C00"},
      {},
      16,
      Left::New};
  otherVersion.release = true;
  otherVersion.logged =
      "Error comparing Modul-Revisions after update!\nModul on Device : 2.12\nModul in Update : "
      "2.11\n\nNot all UpdateSteps installed!\n";
  // Once the device data are read, the supply answers each read of its block
  // with 400 of its 758 bytes: the release is not written over the rest of
  // it.
  FaultRow shortBlock{"SupplyBlockReadShort",
                      part,
                      {"Device=0 Operation=VendorRequestIn FacId=0x2200 After=1 Action=Short "
                       "Bytes=400 Times=0"},
                      {},
                      16,
                      Left::New};
  shortBlock.release = true;
  shortBlock.logged = "Powersupply block read short: 400 of 758 bytes\n";
  // The module on 2.10 answers each revision read with 2 of its 4 bytes, the
  // package bringing 2.0: its revision is unknown, not 2.0. The module is
  // programmed, and the check after it fails on the unknown revision.
  FaultRow shortRevision{
      "ModuleRevisionReadShort",
      part,
      {"Device=1 Operation=VendorRequestIn FacId=0x1010 Action=Short Bytes=2 Times=0"},
      {},
      16,
      Left::New};
  shortRevision.release = true;
  shortRevision.moduleMinor = 0;
  shortRevision.logged =
      "Error comparing Modul-Revisions after update!\nModul on Device : \nModul in Update : "
      "2.0\n\nNot all UpdateSteps installed!\n";
  return {
      failed("ProgramRequestUnanswered", {AtRequest(part, "0x0340", 0, "NoAnswer Times=0")}, {}),
      failed("FlashStatusUnanswered", {StatusReads(part, "NoAnswer")}, {}),
      failed("FlashStatusWithABadCrc", {StatusReads(part, "Malformed Data=4200000100000000")}, {}),
      failed("DeviceReportsABadCrc", {}, {{"1", "FlashAnswer.0340", "0x0002"}}),
      failed("BusyThatNeverEnds", {StatusReads(part, "Malformed Data=4100000000002FB0")}, {}),
      refused,
      shortBlock,
      shortRevision,
      panelNotReady,
      otherVersion,
      lost,
  };
}

class UpdateFault : public UpdateRunOnBench, public ::testing::WithParamInterface<FaultRow> {
 protected:
  // The state of the part's device as the bench holds it now.
  std::string LeftText(Part part) {
    const int slot = SlotOf(part);
    const bool image =
        FlashHolds(bench_, slot,
                   part == Part::Module ? ModuleFirmwareSpec(false, GetParam().moduleMinor)
                                        : SupplyFirmwareSpec());
    const bool boot =
        benchctl::ReadState(bench_, "Device" + std::to_string(slot), "Mode") == "boot";
    if (boot) return "recoverable";
    return image ? "new" : "old";
  }
  std::string UpdateLog() { return testsupport::ReadFileOr(folder_ / "Kestor_log\\Kestor.log"); }
};

TEST_P(UpdateFault, EndsInItsErrorAndASecondRunCompletesTheUpdate) {
  const FaultRow& row = GetParam();
  const bool supply = row.part == Part::Supply;
  benchctl::BenchSpec spec = Tr440WithFlash();
  if (row.moduleMinor != 11) {
    package_.Set("Module", "Rev", "2." + std::to_string(row.moduleMinor))
        .OutFile("tr440.bin", ProgramFileBytes(ModuleFirmwareSpec(false, row.moduleMinor)))
        .OutFile("tr440susb.bin", ProgramFileBytes(ModuleFirmwareSpec(true, row.moduleMinor)));
  }
  if (supply) {
    WithSupplyStep();
    spec = SupplyWithTr440OnFlash(100);
    // The module holds the package's firmware: its step has nothing to do.
    spec.WithDevice(1, "Version", "2.11");
  }
  for (const std::string& fault : row.faults) spec.Fault(fault);
  std::vector<std::string> fixedKeys;
  for (const auto& key : row.keys) {
    spec.WithDevice(std::stoi(key[0]), key[1], key[2]);
    fixedKeys.push_back(key[1]);
  }
  Open(spec);
  bench_ = folder_ / "bench.ini";
  const int steps = supply ? 4 : 3;
  const int failedStep = row.release ? steps - 1 : supply ? 1 : 0;
  const std::string text = row.errorIndex == 14 ? kDisconnected : kUpdateFailed;

  // A first run that does not end in its error is the row's failure: no
  // second run on what it left.
  ASSERT_NO_FATAL_FAILURE(Update(text, (row.slow ? 4 : 1) * kestortest::kEventuallyMs));
  EXPECT_EQ(ErrorTextIndex.load(), row.errorIndex);
  for (int step = 0; step < steps; ++step)
    EXPECT_EQ(StepCell(step, 1), step < failedStep    ? "Update finished"
                                 : step == failedStep ? "Update error"
                                                      : "Update canceled")
        << "step " << step;
  EXPECT_EQ(benchctl::ReadState(bench_, "Device0", "SupplyBlock"), "") << "no release written";
  EXPECT_EQ(LeftText(row.part), Name(row.left));
  EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
  if (!row.logged.empty()) {
    EXPECT_NE(DebugLog().find(row.logged), std::string::npos) << DebugLog();
  }
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
  EXPECT_EQ(ErrorTextIndex.load(), 0);
  const auto seen = answerer.Seen();
  EXPECT_EQ(
      std::count_if(seen.begin(), seen.end(),
                    [](const testsupport::AnsweredBox& box) { return box.caption == "Tessaro"; }),
      row.left == Left::Recoverable ? 1 : 0);
  EXPECT_EQ(LeftText(row.part), "new");
  EXPECT_EQ(SupplyBlockField(298, 6), "0D00980B0000") << "release 1.3 of 24.12.2005 written";
  if (row.left == Left::Recoverable) {
    EXPECT_NE(DebugLog().find("Device in update mode: power supply steps first\n"),
              std::string::npos)
        << DebugLog();
  }
  ASSERT_TRUE(ExitAndClose());
}

std::string RowName(const ::testing::TestParamInfo<FaultRow>& info) { return info.param.name; }

// Three programs of rows, so that they run side by side.
#if LUMETRA_FAULT_ROWS == 1
INSTANTIATE_TEST_SUITE_P(Supply, UpdateFault, ::testing::ValuesIn(RowsOf(Part::Supply)), RowName);
#elif LUMETRA_FAULT_ROWS == 2
INSTANTIATE_TEST_SUITE_P(Flash, UpdateFault, ::testing::ValuesIn(FlashRows()), RowName);
#else
INSTANTIATE_TEST_SUITE_P(Module, UpdateFault, ::testing::ValuesIn(RowsOf(Part::Module)), RowName);
#endif

}  // namespace
