// The commands of a program file's list beside the whole update, each run
// through Programing against the bench: what it does when the device
// answers, and how it fails when it does not.
#include <gtest/gtest.h>

#include "programing_fixture.h"

using namespace tessaro_e2e;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

const char* kRefused = " Action=Status Status=0xE0000004";

class CommandTable : public ProgramingFixture {
 protected:
  CommandTable() { PinIn("flash-programmer/lib/tests/commands/expected"); }

  struct Row {
    const char* name;
    Bytes commands;
    std::vector<std::string> keys;    // Key=Value of the instrument
    std::vector<std::string> faults;  // fault rules
    const char* result;
    const char* status;               // the whole word after a success, else its low half
    std::vector<std::string> lines;   // in this order in Tessaro.log
    std::vector<std::string> absent;  // parts of lines the log must not hold
    std::vector<std::pair<const char*, const char*>> state;  // Device0 keys afterwards
  };

  void RunRows(const std::vector<Row>& rows, const std::string& serial = "2001") {
    for (const Row& r : rows) {
      SCOPED_TRACE(r.name);
      NewHost();
      Use(Tr410With(r.keys, r.faults));
      Outcome o = ProgramOnce(File(ListOf(r.commands)), serial);
      EXPECT_EQ(r.result, o.result);
      std::string status = std::string(r.result) == "1" ? o.status : o.status.substr(4);
      EXPECT_EQ(r.status, status) << "whole word " << o.status;
      EXPECT_TRUE(InOrder(Log(), r.lines));
      for (const std::string& part : r.absent)
        EXPECT_EQ("", LogHolding(part)) << "the log holds \"" << part << "\"";
      for (const auto& [key, value] : r.state)
        EXPECT_EQ(value, benchctl::ReadState(bench_, "Device0", key)) << key;
      ExpectPinned(r.name);
    }
  }
};

TEST_F(CommandTable, CodesWithoutAnActionFailVisibly) {
  Use(Tr410(200));
  std::vector<std::string> files;
  for (int code = 1; code <= 8; ++code)
    files.push_back(File(ListOf({static_cast<uint8_t>(code)}), std::to_string(code) + ".bin"));
  std::vector<Outcome> runs = Program(files);
  ASSERT_EQ(8u, runs.size());
  for (int code = 1; code <= 8; ++code) {
    const Outcome& o = runs[static_cast<size_t>(code - 1)];
    char low[8];
    std::snprintf(low, sizeof low, "%04X", static_cast<unsigned>(0x10000 - 256 - code));
    EXPECT_EQ("0", o.result) << "command " << code;
    EXPECT_EQ(low, o.status.substr(4)) << "command " << code << ", whole word " << o.status;
  }
  ExpectPinned();
}

TEST_F(CommandTable, FlashAndDeviceCommands) {
  RunRows({{"a chip erase clears what was programmed",
            {10, 12, 14, 15, 13, 11},
            {},
            {},
            "1",
            "27100009",
            {"   OK EraseChip, Chip was succesfully erased (100ms)"},
            {},
            {}}});
  EXPECT_EQ(std::vector<uint8_t>(32, 0xFF), FlashAt(0x0000, 32));
  RunRows({
      {"a chip erase request the device does not take",
       {10, 13},
       {},
       {std::string("Operation=VendorRequestOut FacId=0x0330") + kRefused},
       "0",
       "FFF3",
       {},
       {"OK EraseChip"},
       {}},
      {"the short waits and the reserved codes",
       {23, 24, 46, 47},
       {},
       {},
       "1",
       "27100009",
       {},
       {},
       {}},
      {"a conditional at the list's end has no line: the list runs without it",
       {10, 49},
       {},
       {},
       "1",
       "27100009",
       {"[UsbDevCtrl] OPEN DEVICE OK, device with vid:0x0E7B,pid:0x0006,s.n.:\"2001\" there is."},
       {"if(version)do next cmd", "isn't in VersionList"},
       {}},
      {"a sector answered at another address fails while addresses are checked",
       {10, 14},
       {"FlashAddressSkew=0x10"},
       {},
       "0",
       "FFF2",
       {"   ERROR EraseSector, Sector 0 on address 0x00000010 was erased, but was want on "
        "0x00000000 (100ms)."},
       {},
       {}},
      {"with address control off the same answer passes",
       {10, 25, 14},
       {"FlashAddressSkew=0x10"},
       {},
       "1",
       "27100009",
       {"   OK EraseSector, Sector 0 on address 0x00000000 was succesfully erased (100ms)",
        "   OK EraseSector, Sector 1 on address 0x00004000 was succesfully erased (100ms)"},
       {},
       {}},
      {"the version test finds the device's version in the file's list",
       {10, 28},
       {"Version=2.0"},
       {},
       "1",
       "27100009",
       {" OK, version \"2.0\" is in list of versions"},
       {},
       {}},
      {"the version test with a version the file does not list",
       {10, 28},
       {"Version=3.0"},
       {},
       "0",
       "FFE4",
       {" Error, version \"3.0\" isn't in list of versions"},
       {},
       {}},
      {"the flash status of an idle device",
       {10, 30},
       {},
       {},
       "1",
       "27100009",
       {"  status: \"flash_idle\" (0x0009(9)) "},
       {},
       {}},
      {"a flash status that comes short",
       {10, 30},
       {},
       {"Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=6"},
       "0",
       "FFE2",
       {"--- error Get FlashStatus, readen bad length of data ( 6 B, must be 8 B) ---"},
       {},
       {}},
      {"the kill request",
       {10, 31},
       {},
       {},
       "1",
       "27100009",
       {" OK, to device was successfully sent command kill"},
       {},
       {}},
      {"a kill request the device does not take",
       {10, 31},
       {},
       {std::string("Operation=VendorRequestOut FacId=0x3040") + kRefused},
       "0",
       "FFE1",
       {},
       {"successfully sent command kill"},
       {}},
      {"suspend",
       {10, 44},
       {},
       {},
       "1",
       "27100009",
       {" OK, device is suspended (status=128)", "[ProgramingCtrls]  ok, device is suspend."},
       {},
       {}},
      {"suspend without a status",
       {10, 44},
       {},
       {"Operation=VendorRequestIn FacId=0x0200 Action=Status Status=0xE0000004"},
       "0",
       "FFD4",
       {" Error in suspending of device."},
       {"ok, device is suspend."},
       {}},
      {"the device's version",
       {10, 45},
       {"Version=2.7"},
       {},
       "1",
       "27100009",
       {"[ProgramingCtrls]  ok, FW version is 2.7."},
       {},
       {}},
      {"a version that comes short",
       {10, 45},
       {},
       {"Operation=VendorRequestIn FacId=0x1010 Action=Short Bytes=2"},
       "0",
       "FFD3",
       {" Error in read version from device (Command Version is working only on FW, not on "
        "SafeMode)."},
       {},
       {}},
      {"the idle wait",
       {10, 52},
       {"StatusSequence=5 3 1"},
       {},
       "1",
       "27100009",
       {" OK, device is in IDLE (status=1)", "[ProgramingCtrls]  ok, device is in IDLE."},
       {},
       {}},
      {"an idle wait whose status read comes short",
       {10, 52},
       {"StatusSequence=2"},
       {"Operation=VendorRequestIn FacId=0x0200 Action=Short Bytes=1 After=1"},
       "0",
       "FFCC",
       {" Error in waiting for IDLE of device."},
       {},
       {}},
  });
}

TEST_F(CommandTable, RebootCommands) {
  RunRows({
      {"the reboot test with a pause",
       {38},
       {},
       {},
       "1",
       "27100009",
       {"[UsbDevCtrl] OK, RebootTest."},
       {},
       {{"Reboots", "2"}, {"Mode", ""}, {"RebootMarker", "0"}}},
      {"to safe mode with a pause and back",
       {38, 10, 18, 39, 19, 21},
       {},
       {},
       "1",
       "27100009",
       {"[UsbDevCtrl] OK, RebootTest.", "[UsbDevCtrl] OK, Reboot from to.",
        "[UsbDevCtrl] OK, Reboot from to."},
       {},
       {{"Reboots", "4"}, {"Mode", ""}, {"RebootMarker", "0"}}},
      // Each reboot into a mode searches the bus for the device: the
      // devices a search lists are in the log.
      {"the searches after each reboot log the devices they list",
       {38, 10, 18, 39, 19, 21},
       {},
       {},
       "1",
       "27100009",
       {"[UsbDevCtrl] OK, RebootTest.",
        "[UsbDevCtrl]   - device[0] (vid:0x0E7B,pid:0x0006,prod.:\"TR410\",man.:\"Vandrel\","
        "s.n.:\"2safe001\"",
        "[UsbDevCtrl] OK, Reboot from to.",
        "[UsbDevCtrl]   - device[0] (vid:0x0E7B,pid:0x0006,prod.:\"TR410\",man.:\"Vandrel\","
        "s.n.:\"2001\"",
        "[UsbDevCtrl] OK, Reboot from to."},
       {},
       {{"Reboots", "4"}, {"Mode", ""}, {"RebootMarker", "0"}}},
      {"back into the firmware through the intelligent restart",
       {27, 10, 18, 20, 19, 48},
       {},
       {},
       "1",
       "27100009",
       {"[UsbDevCtrl] OK, RebootTest.", "[UsbDevCtrl] OK, Reboot from to.",
        "[UsbDevCtrl] OK, Reboot from to."},
       {"rebooting a Device via its PowerSupply"},
       {{"Reboots", "4"}, {"Mode", ""}, {"RebootMarker", "0"}}},
  });
}

TEST_F(CommandTable, SafeModeSkipsTheCommandsThatNeedTheFirmware) {
  Answer({{"", "Device is in SAFE mode.", IDNO}});
  RunRows({{"every skipping command after the answer No",
            {29, 27, 38, 28, 18, 20, 39, 44, 45, 52},
            {},
            {},
            "1",
            "27100009",
            {"[ProgramingCtrls]  OK, TestOnSafeMode. Device is in safe mode, will skip same "
             "commands...",
             "[ProgramingCtrls]Skip, Reboot.", "[ProgramingCtrls]Skip, RebootWith1sPause.",
             "[ProgramingCtrls]Skip, VersionTest.", "[ProgramingCtrls]Skip, SetMarker.",
             "[ProgramingCtrls]Skip, RestartDeviceToSafe.",
             "[ProgramingCtrls]Skip, RestartDeviceToSafe.",
             "[ProgramingCtrls]  Skip, SuspendTR410.", "[ProgramingCtrls]  Skip, GetDeviceVersion.",
             "[ProgramingCtrls]  Skip, WaitForIDLEonTR410orTR420."},
            {},
            {{"Reboots", ""}}}},
          "2safe001");
  EXPECT_EQ(1u, seen_.size());
}

TEST_F(CommandTable, TheUserPowerCyclesTheDeviceWhenAsked) {
  Use(Tr410(200));
  Answer({{"", "Please switch-off device", IDOK}});
  Outcome o = ProgramOnce(File(ListOf({51, 31})));
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  ASSERT_EQ(1u, seen_.size());
  EXPECT_EQ("Please switch-off device, wait 3s, switch-on device, and press [OK]", seen_[0].text);
  // The device found again is open: the kill after it reaches it.
  EXPECT_EQ(1u, Holding(Log(), " OK, to device was successfully sent command kill").size());
  ExpectPinned();
}

TEST_F(CommandTable, TheSupplyAliasLetsAnOldSupplyAnswerForANewOne) {
  benchctl::BenchSpec s;
  s.TimeScale(200).Supply(9, "0000004711");
  struct Row {
    Bytes commands;
    const char* result;
    const char* status;
  } rows[] = {{{10}, "0", "FFF6"}, {{32, 10}, "1", "27100009"}};
  for (const Row& r : rows) {
    const char* name = r.commands.size() == 1 ? "without the alias" : "with the alias";
    SCOPED_TRACE(name);
    NewHost();
    Use(s);
    Outcome o = ProgramOnce(File(ListOf(r.commands)), "0000004711", 16);
    EXPECT_EQ(r.result, o.result);
    EXPECT_EQ(r.status, std::string(r.result) == "1" ? o.status : o.status.substr(4));
    ExpectPinned(name);
  }
}

TEST_F(CommandTable, LogFileCommands) {
  struct Row {
    const char* name;
    Bytes commands;
    std::vector<std::string> lines;   // in this order
    std::vector<std::string> absent;  // parts no line holds
  } rows[] = {
      {"the log deleted: what came before is gone, what follows is written anew",
       {40, 24},
       {"[ProgramingCtrls]  was succesfully delete LOG file \"<log>\"",
        "[ProgramingCtrls]\xBB OK, Command \"DeleteLogFile\". at ",
        "[ProgramingCtrls]\xBB OK, Command \"Wait100ms\". at "},
       {">>> Programing("}},
      {"the log switched off and on again",
       {41, 24, 42, 23},
       {"[ProgramingCtrls]  was set Create LOG file for Loging.",
        "[ProgramingCtrls]\xBB OK, Command \"Wait500ms\". at "},
       {"was set DontCreate", "Wait100ms"}},
      {"the system's description",
       {43},
       {"[ProgramingCtrls]  --- description start OPER.SYSTEM ---",
        "[ProgramingCtrls]  --------- description end -----------"},
       {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    Use(Tr410(200));
    Outcome o = ProgramOnce(File(ListOf(r.commands)));
    EXPECT_EQ("1", o.result);
    EXPECT_EQ("27100009", o.status);
    std::vector<std::string> log = Log(), expected;
    // The lines up to the stamp the run writes after the text.
    for (std::string& l : log) {
      size_t at = l.find("\". at ");
      if (at != std::string::npos) l = l.substr(0, at + 6);
    }
    for (std::string e : r.lines) {
      size_t at = e.find("<log>");
      if (at != std::string::npos) e.replace(at, 5, *host_ / "Tessaro.log");
      expected.push_back(e);
    }
    EXPECT_TRUE(InOrder(log, expected));
    for (const std::string& part : r.absent)
      EXPECT_EQ("", LogHolding(part)) << "the log holds \"" << part << "\"";
    ExpectPinned(r.name);
  }
  // The description names the system line by line, each indented.
  std::vector<std::string> system = Holding(Log(), "[ProgramingCtrls]    Microsoft Windows");
  EXPECT_EQ(1u, system.size()) << LogHolding("[ProgramingCtrls]");
}

}  // namespace

namespace {

TEST_F(CommandTable, AnEraseWithNoSectorSelectedFailsAndSaysSo) {
  // The host's calls are recorded in a file: the test's own record would
  // not see them.
  Use(Tr410(200).Bench("RecordFile", "calls.txt"));
  ProgramFileSpec spec = ListOf({10, 14});
  spec.selectedSectors = {};
  Outcome o = ProgramOnce(File(spec));
  EXPECT_EQ("0", o.result);
  EXPECT_EQ("FFF2", o.status.substr(4)) << "whole word " << o.status;
  EXPECT_TRUE(
      InOrder(Log(), {"=====   SectorErase: BaseFlash: 0x00400000, will erase 0 sectors   =====",
                      "  ERROR EraseSector, no sector is selected"}));
  std::vector<std::string> calls =
      testsupport::SplitLines(testsupport::ReadFileOr(*host_ / "calls.txt"));
  EXPECT_FALSE(Holding(calls, "CreateFile").empty()) << "the device was opened";
  EXPECT_TRUE(Holding(calls, "FacId=0x0331").empty()) << "nothing was sent";
  ExpectPinned();
}

TEST_F(CommandTable, AHugePollPeriodFromTheFileIsBounded) {
  // A poll period from the file that is longer than the time-out (near
  // 2^31 ms one poll would last 24 days): the polls run at the longest
  // period the library takes, so the three busy polls and the good one end
  // well within it. Unbounded, the first poll alone passes the time-out.
  benchctl::BenchSpec bench = Tr410(1000000);
  bench.With("FlashBusyPolls.0330", "3");
  Use(bench);
  ProgramFileSpec spec = ListOf({10, 13});
  spec.flash.pollPeriod = 100000;
  spec.flash.chipEraseTimeout = 60000;
  Outcome o = ProgramOnce(File(spec));
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_EQ(1u, Holding(Log(), "   OK EraseChip, Chip was succesfully erased (4000ms)").size())
      << LogHolding("EraseChip");
  ExpectPinned();
}

}  // namespace

namespace {

TEST_F(CommandTable, ARebootWaitsForTheOldDeviceToLeaveBeforeItSearches) {
  // The device stays on the bus 4 s after each reboot request: the one
  // still there is not the one that comes back.
  RunRows({{"the whole update",
            kWholeUpdate,
            {"RebootLeaveMs=4000"},
            {},
            "1",
            "27100009",
            {"[UsbDevCtrl] OK, RebootTest.", "[UsbDevCtrl] OK, Reboot from to.",
             "[UsbDevCtrl] OK, Reboot from to."},
            {},
            {{"Reboots", "4"}, {"Mode", ""}, {"RebootMarker", "0"}}}});
  EXPECT_EQ(std::vector<uint8_t>(32, 0xA5), FlashAt(0x0000, 32));
  Answer({{"", "Device is in SAFE mode.", IDNO}});
  RunRows({{"from safe mode back into the firmware",
            {29, 10, 19, 21},
            {"RebootLeaveMs=4000", "Mode=boot", "RebootMarker=1", "SafeSerial=2safe001"},
            {},
            "1",
            "27100009",
            {"[UsbDevCtrl] OK, device with vid:0x0E7B,pid:0x0006,s.n.:\"2001\" there is.",
             "[UsbDevCtrl] OK, Reboot from to."},
            {},
            {{"Reboots", "1"}, {"Mode", ""}, {"RebootMarker", "0"}}}},
          "2safe001");
}

}  // namespace
