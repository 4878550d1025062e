// The command list against devices that misbehave, the commands beside the
// flash ones, and the status word while a job runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "programing_fixture.h"

using namespace tessaro_e2e;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

class ProgramingCommands : public ProgramingFixture {};

// What a technician runs for a device left in safe mode: its safe serial,
// and a list that asks first.
const Bytes kRecovery = {26, 29, 10, 12, 14, 15, 16, 19, 21, 22};

TEST_F(ProgramingCommands, AFailingCommandReadsAsMinusItsCodeAndTheDeviceStaysRecoverable) {
  const char* refused = " Action=Status Status=0xE0000004";
  struct Row {
    const char* name;
    std::vector<std::string> keys;    // Key=Value of the instrument
    std::vector<std::string> faults;  // fault rules, refused unless they name an action
    const char* status;               // low 16 bits after the first run
    std::vector<std::string> mended;  // the keys the technician's fix drops
  } rows[] = {
      {"the autoselect request is refused",
       {},
       {"Operation=VendorRequestOut FacId=0x0320"},
       "FFF4",
       {}},
      {"a sector erase request is refused",
       {},
       {"Operation=VendorRequestOut FacId=0x0331"},
       "FFF2",
       {}},
      {"a program request is refused", {}, {"Operation=VendorRequestOut FacId=0x0340"}, "FFF1", {}},
      {"a verify request is refused", {}, {"Operation=VendorRequestOut FacId=0x0350"}, "FFF0", {}},
      // The marker requests: the test's set and clear, each with its reboot,
      // then the job's set and reboot; the seventh is the job's clear.
      {"the job's clear-marker request is refused",
       {},
       {"Operation=VendorRequestOut FacId=0x0316 After=6"},
       "FFED",
       {}},
      {"no return from the reboot into safe mode",
       {"RebootFault=NoReturn", "RebootFaultAfter=2"},
       {},
       "FFEC",
       {}},
      {"the reboot into the firmware returns in safe mode",
       {"RebootFault=WrongMode", "RebootFaultAfter=3"},
       {},
       "FFEB",
       {}},
      {"the device stays on the bus when told to reboot into safe mode",
       {"RebootFault=Stays", "RebootFaultAfter=2"},
       {},
       "FFEC",
       {}},
      {"a program request the device never answers",
       {},
       {"Operation=VendorRequestOut FacId=0x0340 Action=NoAnswer"},
       "FFF1",
       {}},
      // The flash status answers of every command: the marker's are the first.
      {"flash status answers that come short",
       {},
       {"Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=6 Times=0"},
       "FFEE",
       {}},
      {"flash status answers with a bad CRC",
       {},
       {"Operation=VendorRequestIn FacId=0x0300 Action=Malformed Data=0900000000000000 Times=0"},
       "FFEE",
       {}},
      {"a verify that stays busy",
       {"FlashBusyPolls.0350=1000000"},
       {},
       "FFF0",
       {"FlashBusyPolls.0350"}},
      {"a sector erase answered with its error code",
       {"FlashAnswer.0331=0x0033"},
       {},
       "FFF2",
       {"FlashAnswer.0331"}},
      {"the device removed while it is programmed",
       {},
       {"Operation=VendorRequestOut FacId=0x0340 Action=Remove"},
       "FFF1",
       {}},
      // Its safe mode names itself "safety mode", which is no safe serial:
      // the reboot test does not find it; brought back into its firmware by hand.
      {"a safe mode that names itself \"safety mode\"",
       {"SafeSerial=safety mode"},
       {},
       "FFE5",
       {"SafeSerial", "Mode"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    std::vector<std::string> faults;
    for (const std::string& f : r.faults)
      faults.push_back(f.find("Action=") == std::string::npos ? f + refused : f);
    Use(Tr410With(r.keys, faults));
    auto first = ProgramOnce(File(ListOf(kWholeUpdate)));
    EXPECT_EQ("0", first.result);
    EXPECT_EQ(r.status, first.status.substr(4)) << "whole word " << first.status;
    EXPECT_EQ(benchctl::FaultsNotFired(bench_), std::vector<std::string>{});
    // The fault ends: a second job finishes the update, from safe mode
    // when the device was left there.
    ASSERT_TRUE(benchctl::EndFaults(bench_, r.mended));
    bool safe = benchctl::ReadState(bench_, "Device0", "Mode") == "boot";
    Answer({{"", "Device is in SAFE mode.", IDNO}});
    auto second = safe ? ProgramOnce(File(ListOf(kRecovery), "recovery.bin"), "2safe001")
                       : ProgramOnce(File(ListOf(kWholeUpdate)));
    EXPECT_EQ("1", second.result) << (safe ? "from safe mode" : "");
    EXPECT_EQ("27100009", second.status);
    EXPECT_EQ("", benchctl::ReadState(bench_, "Device0", "Mode"));
    EXPECT_EQ(std::vector<uint8_t>(32, 0xA5), FlashAt(0x0000, 32));
  }
}

TEST_F(ProgramingCommands, AFailureIsAlwaysAFailureInTheStatusWord) {
  const std::string refused =
      "[ProgramingCtrls]  ERROR, the program blocks don't fit the flash \"AM29F400BB\": the "
      "file is refused, nothing was erased or programmed.";
  struct Row {
    const char* name;
    Bytes commands;
    const char* status;                                // low 16 bits
    std::vector<std::string> lines;                    // parts of log lines that say why
    std::vector<tessaro_test::BlockSpec> blocks = {};  // the file's blocks; none: the usual two
  } rows[] = {
      {"command 0 has no action", {0}, "FF00", {}},
      {"command 9 has no action", {9}, "FEF7", {}},
      {"command 17 has no action", {17}, "FFEF", {}},
      {"a flash command without an open device",
       {10, 11, 12},
       "FFF4",
       {"Command \"FlashAutoselect\" needs an open device: no OpenDevice ran before it, or "
        "CloseDevice did"}},
      {"an empty list", {}, "0009", {}},
      {"a second device with the same ids",
       {26},
       "FFE6",
       {"[UsbDevCtrl] Error, device with vid:0x0E7B,pid:0x0006 there is manytimes (2x)"}},
      // The file's flash has 0x40000 bytes: the whole update is refused
      // before its first command, as a file the reader refuses.
      {"a block beyond the flash's end",
       kWholeUpdate,
       "FFFE",
       {"  ERROR, Block 1 on address 0x00050000 size 2048 lies outside the flash \"AM29F400BB\"",
        refused},
       {{0x0, Bytes(4096, 0xA5)}, {0x50000, Bytes(2048, 0x5A)}}},
      {"a block running past the flash's end",
       kWholeUpdate,
       "FFFE",
       {"  ERROR, Block 0 on address 0x0003F800 size 4096 lies outside the flash \"AM29F400BB\"",
        refused},
       {{0x3F800, Bytes(4096, 0xA5)}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    benchctl::BenchSpec spec = Tr410();
    if (r.commands == Bytes{26}) spec.Instrument(6, "2002");
    Use(spec.Bench("RecordFile", "calls.txt"));
    ProgramFileSpec file = ListOf(r.commands);
    if (!r.blocks.empty()) file.blocks = r.blocks;
    auto o = ProgramOnce(File(file));
    EXPECT_EQ(std::string(r.status) == "0009" ? "1" : "0", o.result);
    EXPECT_EQ(r.status, o.status.substr(4)) << o.status;
    for (const std::string& line : r.lines) EXPECT_EQ(1u, Holding(Log(), line).size()) << line;
    // None of these runs reaches the flash or the reboot marker.
    std::string flashRequests;
    for (const std::string& call : Holding(
             testsupport::SplitLines(testsupport::ReadFileOr(*host_ / "calls.txt")), "FacId=0x03"))
      flashRequests += "\n  " + call;
    EXPECT_EQ("", flashRequests) << "flash and marker requests reached the device";
    EXPECT_EQ("", benchctl::FlashDigest(bench_, 0)) << "the flash was changed";
  }
}

TEST_F(ProgramingCommands, ConditionalCommandComparesTheDevicesVersion) {
  // The file's versions are 1.2 (index 0) and 2.0 (index 1); the device runs 2.0.
  struct Row {
    const char* name;
    Bytes commands;
    const char* line;  // a line of the log
    size_t waits;      // how often Wait1000ms ran
  } rows[] = {
      {"equal: the next command runs",
       {10, 49, 1, 22, 11},
       "[ProgramingCtrls]  from VersionList 2.0 = 2.0 from Device => will do next command",
       1},
      {"unequal: the next command is skipped",
       {10, 49, 0, 22, 11},
       "[ProgramingCtrls]  skip command \"Wait1000ms\"",
       0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    Use(Tr410().With("Version", "2.0"));
    auto o = ProgramOnce(File(ListOf(r.commands)));
    EXPECT_EQ("1", o.result);
    EXPECT_EQ("27100009", o.status);
    std::string all;
    for (const std::string& l : Holding(Log(), "[ProgramingCtrls]")) all += "\n" + l;
    EXPECT_EQ(1u, Holding(Log(), r.line).size()) << r.line << all;
    EXPECT_EQ(r.waits, Holding(Log(), "DO COMMAND 3: \"Wait1000ms\"").size());
  }
}

TEST_F(ProgramingCommands, AConditionalAtTheListsEndLeavesNothingForTheNextJob) {
  // Its parameter is the file's last byte: the version differs, so the
  // conditional asks to skip a command that is not there.
  Use(Tr410().With("Version", "2.0"));
  std::string first = File(ListOf({10, 49, 0}), "first.bin");
  std::string second = File(ListOf({10, 11}), "second.bin");
  auto runs = Program({first, second});
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ("1", runs[0].result);
  EXPECT_EQ("1", runs[1].result);
  EXPECT_EQ("27100009", runs[1].status);
  // The second job's first command ran: two opens in the log, one per job.
  EXPECT_EQ(2u, Holding(Log(), "[UsbDevCtrl] OPEN DEVICE OK").size());
}

TEST_F(ProgramingCommands, TestOnSafeModeAsksOnlyForASerialThatSaysSafeAfterItsFirstCharacter) {
  struct Row {
    const char* serial;
    bool asked;
    const char* line;
  } rows[] = {
      {"12safe", true,
       "[ProgramingCtrls]  OK, TestOnSafeMode. Device is in safe mode, will skip same "
       "commands..."},
      {"safe12", false, "[ProgramingCtrls]  OK, TestOnSafeMode. Device isn't in safe mode."},
      {"safety mode", false, "[ProgramingCtrls]  OK, TestOnSafeMode. Device isn't in safe mode."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.serial);
    NewHost();
    Use(Tr410());
    // No: go on in safe mode.
    Answer({{"", "Device is in SAFE mode.", IDNO}});
    auto o = ProgramOnce(File(ListOf({29, 27})), r.serial);
    EXPECT_EQ(r.asked ? "1" : "0", o.result);
    EXPECT_EQ(r.asked ? "27100009" : "03E8FFE5", o.status);
    EXPECT_EQ(r.asked ? 1u : 0u, seen_.size());
    EXPECT_EQ(1u, Holding(Log(), r.line).size());
    // In safe mode the reboot test is skipped; else it runs and finds no
    // device with that serial.
    EXPECT_EQ(r.asked ? 1u : 0u, Holding(Log(), "[ProgramingCtrls]Skip, Reboot.").size());
  }
}

TEST_F(ProgramingCommands, AYesToTheSafeModeQuestionStopsTheJob) {
  Use(Tr410());
  Answer({{"", "Device is in SAFE mode.", IDYES}});
  auto o = ProgramOnce(File(ListOf({29})), "12safe");
  EXPECT_EQ("0", o.result);
  EXPECT_EQ("FFE3", o.status.substr(4));
}

TEST_F(ProgramingCommands, ModuleRebootThroughItsSupplyFindsTheSupplyThatCarriesIt) {
  struct Row {
    const char* name;
    const char* leaveMs;  // how long the supply stays on the bus after its reboot request
  } rows[] = {
      {"the supply leaves at once", "0"},
      {"the module is still listed two seconds after its supply's reboot", "2000"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    benchctl::BenchSpec s;
    s.TimeScale(50)
        .Supply(16, "0000004711")
        .With("Version", "0.6")
        .With("Module0", "1,2001,1362500100")
        .Supply(16, "0000004712")
        .With("Version", "1.0")
        .With("Module0", "1,2001,1362500100")
        .With("RebootMs", "1000")
        .With("RebootLeaveMs", r.leaveMs)
        .Instrument(6, "2001")
        .With("Parent", "1")
        // Away long enough that the library sees it leave however long a
        // loaded machine holds the library between the request and its look.
        .With("RebootMs", "60000")
        .Instrument(6, "2002")  // a bystander of the same type
        .With("Parent", "0");
    Use(s);
    auto o = ProgramOnce(File(ListOf({50})));
    EXPECT_EQ("1", o.result);
    EXPECT_EQ("27100009", o.status);
    EXPECT_EQ("", benchctl::ReadState(bench_, "Device0", "Reboots"))
        << "the 0.6 supply is not used";
    EXPECT_EQ("1", benchctl::ReadState(bench_, "Device1", "Reboots"));
    std::vector<std::string> log = Log();
    EXPECT_TRUE(InOrder(
        log, {"[UsbDevCtrl]    Error, FW version (v0.6) of PS  not support the function (0.7 =< "
              "Sup.Ver.)",
              "[UsbDevCtrl]    OK, FW version (v1.0) of PS  support the function (0.7 =< Sup.Ver.)",
              "[UsbDevCtrl]    (sn.: ?Dev \"2001\" = \"2001\" FromPS) => it is my device.",
              "[UsbDevCtrl]     ok, this is REALLY my PS, device was unpluged (device: vid:0x0e7b, "
              "pid:0x0006, s.n.:\"2001\")",
              "[UsbDevCtrl]   the device is connected again (device: vid:0x0e7b, pid:0x0006, "
              "s.n.:\"2001\")",
              "[UsbDevCtrl]   OK, Reboot via PowerSupply"}));
  }
}

TEST_F(ProgramingCommands, WithoutASupplyTheUserPowerCyclesTheDevice) {
  Use(Tr410());
  Answer({{"", "I cannot find any PowerSupply", IDNO}, {"", "Please switch-off device", IDOK}});
  auto o = ProgramOnce(File(ListOf({50})));
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_EQ(2u, seen_.size());
  EXPECT_EQ(1u, Holding(Log(), "you don't want reboot manually.").size());
}

TEST_F(ProgramingCommands, ModuleDataIsBackedUpWrittenBackAfterAStornoAndCleared) {
  PlaceModuleDataPlugin();
  // Binds of 0x83: 1 read, 2 first wait, 3 write, 4 wait (storno), 5 write,
  // 6 wait (ready), 7 clear.
  // Away long after each reboot, so that the library sees it leave however
  // long a loaded machine holds the request.
  Use(Tr410()
          .With("BindEvents", "6020@100")
          .With("BindEvents4", "6F02@100")
          .With("RebootMs", "30000"));
  auto o = ProgramOnce(File(ListOf({10, 34, 35})));
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  std::vector<std::string> log = Log();
  EXPECT_TRUE(
      InOrder(log, {"[UsbDevCtrl]   OK Read of Baugr.Data", "[ProgramingCtrls]  Wait on Irpt: BAD",
                    "[ProgramingCtrls]  2. ********** Try write DB and test its right **********",
                    "[ProgramingCtrls]  Wait on Irpt: OK",
                    "[ProgramingCtrls]  Files with Baugr.Data are successfully cleared."}));
  std::string calls = testsupport::ReadFileOr(*host_ / "Plugins\\Orvane.rec");
  size_t read = calls.find("ModuleToFile"), convert = calls.find("FileToFile"),
         write = calls.find("FileToModule"), clear = calls.find("FileDelete");
  EXPECT_NE(std::string::npos, read);
  EXPECT_LT(read, convert);
  EXPECT_LT(convert, write);
  EXPECT_LT(write, clear) << calls;
  EXPECT_FALSE(testsupport::FileExists(*host_ / "Baugr.dat")) << "the files are cleared";
}

TEST_F(ProgramingCommands, AReadySentAsTheDeviceCameBackIsNotMissed) {
  PlaceModuleDataPlugin();
  // Binds of 0x83: 1 read, 2 first wait, 3 write, 4 wait after the reboot,
  // 5 clear. The device says ready when it arrives, before anything is bound.
  Use(Tr410()
          .With("BindEvents2", "6020@100")
          .With("ArrivalEvents", "6020@0")
          .With("RebootMs", "30000"));
  Answer({{"", "Unable to write", IDOK}});
  auto o = ProgramOnce(File(ListOf({10, 34, 35})));
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_TRUE(seen_.empty());
  std::string all;
  for (const std::string& l : Holding(Log(), "]")) all += "\n" + l;
  EXPECT_EQ(1u, Holding(Log(), "[ProgramingCtrls]  Wait on Irpt: OK").size()) << all;
}

TEST_F(ProgramingCommands, ADeviceThatNeverSaysReadyEndsTheWaitAfterSixtySeconds) {
  PlaceModuleDataPlugin();
  Use(Tr410(200));
  Answer({{"", "Unable to write new Baugr.Data", IDOK}});
  auto o = ProgramOnce(File(ListOf({10, 35})));
  EXPECT_EQ("0", o.result);
  EXPECT_EQ("FFDD", o.status.substr(4));
  EXPECT_EQ(1u, Holding(Log(), "[UsbDevCtrl]   TIMEOUT, in wait on Device is READY").size());
  EXPECT_EQ(1u, seen_.size());
}

TEST_F(ProgramingCommands, GetStatusDuringAJobNeverWaitsForItAndStaysInRange) {
  Use(Tr410());
  std::string file = File(ListOf(kWholeUpdate));
  host_->Run({"load", "pollrun:0x0E7B:6:2001:" + file, "free"});
  EXPECT_EQ(std::vector<std::string>{"1"}, host_->Values("prog"));
  ASSERT_EQ(1u, host_->Values("longestMs").size());
  // GetStatus takes its own lock only: far below the job's length.
  EXPECT_LT(std::stoi(host_->Values("longestMs")[0]), 500);
  EXPECT_LE(std::stoi(host_->Values("highestProgress")[0]), 10000);
  EXPECT_GE(std::stoi(host_->Values("polls")[0]), 2);
}

TEST_F(ProgramingCommands, ProgressMovesWhileACommandRuns) {
  // The host asks GetStatus on the job's thread after each of the job's
  // pauses; on a bench clock twice the wall's speed a pause (50 ms for 100 ms
  // of the job's) outlasts the host's 10 ms timer, so every pause is seen.
  struct Row {
    const char* name;
    Bytes commands;
    std::vector<std::string> keys;  // Key=Value of the instrument
    int code;
    std::vector<unsigned> progress;  // values seen while `code` runs
    const char* result;
    std::vector<std::string> faults = {};  // fault rules
    bool grows = false;                    // the progress seen never drops while `code` runs
  } rows[] = {
      {"two sectors erased: half after the first", {10, 12, 14, 11}, {}, 14, {5000}, "1"},
      {"two blocks programmed: half after the first", {10, 12, 14, 15, 11}, {}, 15, {5000}, "1"},
      {"two blocks verified: half after the first", {10, 12, 14, 15, 16, 11}, {}, 16, {5000}, "1"},
      {"a second's wait: a tenth after its first step", {22}, {}, 22, {1000}, "1"},
      {"half a second's wait: a fifth after its first step", {23}, {}, 23, {2000}, "1"},
      {"a tenth of a second's wait: one step to its end", {24}, {}, 24, {10000}, "1"},
      // The first suspend request is refused: 1 of 500 rounds after it.
      {"the device suspended at the second request",
       {10, 44, 11},
       {},
       44,
       {20},
       "1",
       {"Operation=VendorRequestOut FacId=0x3800 Action=Status Status=0xE0000004"},
       true},
      // Busy at the first two reads: 1 of 3000 rounds after the second.
      {"the device idle after two rounds",
       {10, 52, 11},
       {"StatusSequence=2 2 0"},
       52,
       {3},
       "1",
       {},
       true},
      // 100 ms of the 60 s wait for the device's ready event, then of the
      // 3 s pauses before each new try of a write that keeps failing.
      {"the wait for the device's ready and the pauses between writes",
       {10, 34, 35},
       {},
       35,
       {17, 333},
       "0"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    PlaceModuleDataPlugin("Fail=FileToFile\r\n");
    // Every wait for the ready event ends after half a second.
    Use(Tr410With(r.keys, r.faults, 2).With("BindEvents", "6020@500"));
    std::string file = File(ListOf(r.commands));
    Answer({{"", "Unable to write new Baugr.Data", IDOK}});
    ASSERT_TRUE(RunAnswered({"load", "sampled:0x0E7B:6:2001:" + file, "free"}));
    EXPECT_EQ(std::vector<std::string>{r.result}, host_->Values("prog"));
    ASSERT_EQ(1u, host_->Values("sampled").size());
    // The words come in the order the host saw them.
    std::vector<unsigned> sequence;
    std::istringstream words(host_->Values("sampled")[0]);
    for (std::string word; std::getline(words, word, ',');) {
      uint32_t v = static_cast<uint32_t>(std::stoul(word, nullptr, 16));
      if ((v & 0xFFFF) == static_cast<uint32_t>(r.code)) sequence.push_back(v >> 16);
    }
    std::set<unsigned> seen(sequence.begin(), sequence.end());
    std::string all;
    for (unsigned p : sequence) all += " " + std::to_string(p);
    for (unsigned p : r.progress)
      EXPECT_EQ(1u, seen.count(p)) << p << "; seen while it ran:" << all;
    if (r.grows) {
      EXPECT_TRUE(std::is_sorted(sequence.begin(), sequence.end()))
          << "the progress dropped; seen while it ran:" << all;
    }
  }
}

TEST_F(ProgramingCommands, LoadProgramFreeAndLoadAgainInOneHost) {
  Use(Tr410());
  std::string file = File(ListOf({26, 10, 12, 14, 15, 16, 11}));
  host_->Run({"load", "prog:0x0E7B:6:2001:" + file, "free", "load", "prog:0x0E7B:6:2001:" + file,
              "status", "free"});
  EXPECT_EQ((std::vector<std::string>{"1", "1"}), host_->Values("prog"));
  EXPECT_EQ(std::vector<std::string>{"27100009"}, host_->Values("status"));
}

}  // namespace
