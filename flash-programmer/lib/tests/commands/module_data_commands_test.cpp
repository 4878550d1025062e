// The commands around a module's own data: the firmware-version gate that
// decides whether it is kept (PathTR410_BD, PathTR410test_BD), the reboot
// through the supply, reading it before and writing it back after the
// update; their boxes answered as a technician would.
#include <gtest/gtest.h>

#include <regex>

#include "form_controls.h"
#include "programing_fixture.h"

using namespace tessaro_e2e;

namespace {

const bool kBench = benchctl::BenchFromTheStart();

const char kHeadFor[] =
    "The version of binary file is determined for upgrade a firmware with old Baugr.Data\r\nto a "
    "firmware with new Baugr.Data.\r\n";
const char kHeadTo[] =
    "The version of binary file is determined to upgrade firmware with old Baugr.Data\r\nby "
    "firmware with new Baugr.Data.\r\n";

class ModuleDataCommands : public ProgramingFixture {
 protected:
  ModuleDataCommands() { PinIn("flash-programmer/lib/tests/commands/expected"); }

  size_t PluginCallsOf(const std::string& name) const {
    size_t n = 0;
    for (const std::string& l : PluginCalls()) n += l.rfind("Orvane" + name + " ", 0) == 0;
    return n;
  }
  // A supply at `version` that carries the TR410 (module 2001) of slot 1.
  // The module stays away long enough after its supply's reboot (30 s of
  // the bench clock) for the flows to see it leave.
  static benchctl::BenchSpec SupplyWithTr410(const char* version) {
    benchctl::BenchSpec s;
    s.TimeScale(100);
    AddSupplyWithTr410(s, version, "0");
    return s;
  }
  // The same supply and module behind an instrument of another kind in slot
  // 0 that the supply carries too and that stays away after the supply's
  // reboot: the supply, the second device on the bus before the reboot, is
  // the first one after it, and the module the second.
  static benchctl::BenchSpec SupplyWithTr410BehindAnother() {
    benchctl::BenchSpec s;
    s.TimeScale(100).Instrument(5, "1001").With("Parent", "1").With("RebootMs", "100000000");
    AddSupplyWithTr410(s, "1.0", "1");
    return s;
  }
  // The supply at `version` in the next slot, and its TR410 (module 2001) in
  // the slot after, carried by the supply in slot `supplySlot`.
  static void AddSupplyWithTr410(benchctl::BenchSpec& s, const char* version,
                                 const char* supplySlot) {
    s.Supply(16, "0000004712")
        .With("Version", version)
        .With("Module0", "1,2001,1362500100")
        .With("RebootMs", "1000")
        .Instrument(6, "2001")
        .With("Parent", supplySlot)
        .With("Version", "2.0")
        .With("BindEvents", "6020@100");
    WithFlash(s).With("RebootMs", "30000");
  }
  // A TR410 that reports ready when its event pipe is bound. The library
  // sees a reboot only while the module is away: two minutes of the bench
  // clock keep it away far longer than a loaded machine holds the request.
  static benchctl::BenchSpec Tr410ReadyOnBind() {
    return Tr410(200).With("BindEvents", "6020@100").With("RebootMs", "120000");
  }
};

TEST_F(ModuleDataCommands, TheVersionGateOfTheModuleData) {
  // The file's limits: 1.5 for PathTR410_BD, 1.6 for PathTR410test_BD.
  struct Row {
    const char* name;
    Bytes commands;
    const char* version;  // the device's
    const char* result;
    const char* status;
    std::vector<std::string> lines;
    std::vector<std::string> boxes;
  } rows[] = {
      {"below the limit the data is kept",
       {10, 33},
       "1.0",
       "1",
       "27100009",
       {" OK, version \"1.0\" is less than 1.5", "[ProgramingCtrls]  Set PathTR410BD on \"TRUE\""},
       {}},
      {"at or above the limit the gate fails and says why",
       {10, 33},
       "2.0",
       "0",
       "FFDF",
       {" ERROR, version \"2.0\" is less than 1.5",
        "[ProgramingCtrls]  Set PathTR410BD on \"FALSE\""},
       {std::string(kHeadFor) +
            "Off limits vesion is less then FW version.Pleasse, get on to support\r\nMsg for "
            "sup.: QV PathTR410.1 \"Version of FW in device [2.0], First off limits FW in binary "
            "[1.5]\"",
        std::string(kHeadTo) +
            "There is a problem with patch for this application ...Please, try upload again, in "
            "case of the same result contact support\r\nMsg for sup.: QV PathTR410.3 "
            "\"ucPathTR410_BD\""}},
      {"the test gate below its limit",
       {10, 37},
       "1.0",
       "1",
       "27100009",
       {"[ProgramingCtrls]  Set PathTR410BD on \"TRUE\""},
       {}},
      {"the test gate above its limit skips the data commands without a box",
       {10, 37, 34, 35, 36},
       "2.0",
       "1",
       "27100009",
       {"[ProgramingCtrls]  Set PathTR410BD on \"FALSE\"", "[ProgramingCtrls]  Skip TR410_Read_BD",
        "[ProgramingCtrls]  Skip TR410_Write_BD", "[ProgramingCtrls]  Skip RebootViaPS"},
       {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    Use(Tr410(200).With("Version", r.version));
    Answer({{"", "Baugr.Data", IDOK}});
    Outcome o = ProgramOnce(File(ListOf(r.commands)));
    EXPECT_EQ(r.result, o.result);
    EXPECT_EQ(r.status, std::string(r.result) == "1" ? o.status : o.status.substr(4));
    EXPECT_TRUE(InOrder(Log(), r.lines));
    EXPECT_EQ(r.boxes, SeenTexts());
    ExpectPinned(r.name);
  }
}

TEST_F(ModuleDataCommands, AVersionThatCannotBeCheckedFailsTheGateWithItsBoxes) {
  const std::string failure33 =
      std::string(kHeadTo) +
      "There is a problem with patch for this application ...Please, try upload again, in case "
      "of the same result contact support\r\nMsg for sup.: QV PathTR410.3 \"ucPathTR410_BD\"";
  struct Row {
    const char* name;
    Bytes commands;
    std::vector<std::string> faults;
    const char* result;
    const char* status;
    std::vector<std::string> lines;
    std::vector<std::string> boxes;
  } rows[] = {
      {"the version read fails: the device counts as not below the limit",
       {10, 33},
       {"Operation=VendorRequestIn FacId=0x1010 Action=Status Status=0xE0000004"},
       "0",
       "FFDF",
       {" ERROR, cannot read version from device( test: version is less than 1.5",
        "[ProgramingCtrls]  Set PathTR410BD on \"FALSE\""},
       {std::string(kHeadFor) +
            "Off limits vesion is less then FW version.Pleasse, get on to support\r\nMsg for "
            "sup.: QV PathTR410.1 \"Version of FW in device [Cannot read version from device], "
            "First off limits FW in binary [1.5]\"",
        failure33}},
      {"the test gate with a failed version read closes without a box",
       {10, 37},
       {"Operation=VendorRequestIn FacId=0x1010 Action=Status Status=0xE0000004"},
       "1",
       "27100009",
       {"[ProgramingCtrls]  Set PathTR410BD on \"FALSE\""},
       {}},
      {"no device open: the check's error is shown",
       {33},
       {},
       "0",
       "FFDF",
       {"[ProgramingCtrls]  exception \"Command \"PathTR410_BD\" needs an open device: no "
        "OpenDevice ran before it, or CloseDevice did\", error => cannot to finish command",
        "[ProgramingCtrls]  Set PathTR410BD on \"TRUE\""},
       {std::string(kHeadFor) +
            "Exeption on reading version off limits.Pleasse, try new upload, if will result same "
            "then get on to support\r\nMsg for sup.: QV PathTR410.3 \"Command \"PathTR410_BD\" "
            "needs an open device: no OpenDevice ran before it, or CloseDevice did\"",
        failure33}},
      {"no device open for the test gate: its failure box",
       {37},
       {},
       "0",
       "FFDB",
       {"[ProgramingCtrls]  exception \"Command \"PathTR410test_BD\" needs an open device: no "
        "OpenDevice ran before it, or CloseDevice did\", error => cannot to finish command"},
       {std::string(kHeadTo) +
        "There is a problem with BaugruppenDaten test...Please, try upload again, in case of the "
        "same result contact support\r\nMsg for sup.: QV PathTR410.3 \"ucPathTR410test_BD\""}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    benchctl::BenchSpec spec = Tr410(200);
    for (const std::string& f : r.faults) spec.Fault(f + " Times=0");
    Use(spec);
    Answer({{"", "Baugr.Data", IDOK}});
    Outcome o = ProgramOnce(File(ListOf(r.commands)));
    EXPECT_EQ(r.result, o.result);
    EXPECT_EQ(r.status, std::string(r.result) == "1" ? o.status : o.status.substr(4));
    EXPECT_TRUE(InOrder(Log(), r.lines)) << LogHolding("[ProgramingCtrls]");
    EXPECT_EQ(r.boxes, SeenTexts());
    ExpectPinned(r.name);
  }
}

TEST_F(ModuleDataCommands, AClosedGateStaysClosedForTheNextJobOfTheLoad) {
  Use(Tr410(200).With("Version", "2.0"));
  std::vector<Outcome> runs =
      Program({File(ListOf({10, 37}), "gate.bin"), File(ListOf({10, 34}), "read.bin")});
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ("1", runs[1].result);
  EXPECT_EQ("27100009", runs[1].status);
  EXPECT_EQ(1u, Holding(Log(), "[ProgramingCtrls]  Skip TR410_Read_BD").size());
  ExpectPinned();
}

TEST_F(ModuleDataCommands, RebootThroughTheSupply) {
  const std::vector<std::string> rebooted = {
      "[UsbDevCtrl]     ok, this is my PS, device unpluged (device: vid:0x0e7b, pid:0x0006, "
      "s.n.:\"2001\")",
      "[UsbDevCtrl]   OK, Reboot via PowerSupply",
      "[ProgramingCtrls]  Device succesfully reboot, now will wait 1s"};
  struct Row {
    const char* name;
    bool supply;
    const char* leaveMs;  // how long the supply stays on the bus after its reboot request
    const char* result;
    const char* status;
    std::vector<std::string> lines;
  } rows[] = {
      {"the supply that carries the module", true, "0", "1", "27100009", rebooted},
      {"the module still listed two seconds after its supply's reboot", true, "2000", "1",
       "27100009", rebooted},
      {"no supply, and the user does not reboot by hand",
       false,
       "0",
       "0",
       "FFDC",
       {"[UsbDevCtrl]   UNSUCCESS, I don't find a PowerSypply via which is possible reboot TR410, "
        "and you don't want reboot manually."}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    Use(r.supply ? SupplyWithTr410("1.0").WithDevice(0, "RebootLeaveMs", r.leaveMs) : Tr410(200));
    Answer({{"", "I cannot find any PowerSupply", IDNO}});
    Outcome o = ProgramOnce(File(ListOf({10, 36})));
    EXPECT_EQ(r.result, o.result);
    EXPECT_EQ(r.status, std::string(r.result) == "1" ? o.status : o.status.substr(4));
    EXPECT_TRUE(InOrder(Log(), r.lines));
    EXPECT_EQ(r.supply ? 0u : 1u, seen_.size()) << "no box but the question";
    if (r.supply) {
      EXPECT_EQ("1", benchctl::ReadState(bench_, "Device0", "Reboots"));
    }
    ExpectPinned(r.name);
  }
}

TEST_F(ModuleDataCommands, AFailedReadShowsItsBoxWithTheCommandsStartTime) {
  PlaceModuleDataPlugin("Fail=ModuleToFile\r\n");
  Use(Tr410(200));
  Answer({{"", "Unable to read old Baugr.Data", IDOK}});
  Outcome o = ProgramOnce(File(ListOf({10, 34})));
  EXPECT_EQ("0", o.result);
  EXPECT_EQ("FFDE", o.status.substr(4));
  std::vector<std::string> start = Holding(Log(), "DO COMMAND 1: \"TR410_Read_BD\" at ");
  ASSERT_EQ(1u, start.size());
  std::smatch stamp;
  ASSERT_TRUE(std::regex_search(start[0], stamp,
                                std::regex("[0-9]{4}\\.[0-9]{2}\\.[0-9]{2}\\. "
                                           "[0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3}")))
      << start[0];
  EXPECT_EQ(std::vector<std::string>{std::string(kHeadTo) +
                                     "Unable to read old Baugr.Data...Please, try upload again, "
                                     "in case of the same result contact support\r\nMsg for "
                                     "sup.: QV PathTR410.3 \"" +
                                     stamp.str() + "\""},
            SeenTexts());
  ExpectPinned();
}

TEST_F(ModuleDataCommands, TheModulesSerialIsWrittenOnlyWhenTheSupplyNamesIt) {
  struct Row {
    const char* name;
    const char* supplyVersion;  // none: no supply
    Bytes commands;
    std::vector<std::string> lines;
    size_t serialWrites;
    bool behindAnother = false;
  } rows[] = {
      {"no supply: the module keeps its serial", nullptr, {10, 34, 35}, {}, 0},
      {"a supply too old to name it",
       "0.6",
       {10, 34, 36, 35},
       {"[ProgramingCtrls] Error, FW version (v0.6) of PS  not support the function (0.7 =< "
        "Sup.Ver.)"},
       0},
      {"a supply whose module table names it",
       "1.0",
       {10, 34, 36, 35},
       {"[ProgramingCtrls] OK, FW version (v1.0) of PS  support the function (0.7 =< Sup.Ver.)",
        "[ProgramingCtrls] OK, was  found in Baugr.Data serial number for TR410: 2001."},
       1},
      {"the supply found again by its serial when the bus lists it first after its reboot",
       "1.0",
       {10, 34, 36, 35},
       {"[ProgramingCtrls] OK, FW version (v1.0) of PS  support the function (0.7 =< Sup.Ver.)",
        "[ProgramingCtrls] OK, was  found in Baugr.Data serial number for TR410: 2001."},
       1,
       true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    PlaceModuleDataPlugin();
    Use(r.behindAnother   ? SupplyWithTr410BehindAnother()
        : r.supplyVersion ? SupplyWithTr410(r.supplyVersion)
                          : Tr410ReadyOnBind());
    Outcome o = ProgramOnce(File(ListOf(r.commands)));
    EXPECT_EQ(std::vector<std::string>{}, SeenTexts());
    EXPECT_EQ("1", o.result);
    EXPECT_EQ("27100009", o.status);
    EXPECT_TRUE(InOrder(Log(), r.lines));
    std::vector<std::string> written;
    for (const std::string& l : PluginCalls())
      if (l.rfind("OrvaneWriteSerNumb(", 0) == 0) written.push_back(l);
    EXPECT_EQ(r.serialWrites, written.size());
    if (r.serialWrites) {
      EXPECT_EQ("OrvaneWriteSerNumb(2001)", written[0]);
    }
    ExpectPinned(r.name);
  }
}

TEST_F(ModuleDataCommands, TheSupplysVersionDoesNotTakeTheModulesPlace) {
  // The module's version (2.0) is read in its firmware; after the data is
  // written back through the supply (1.0) the module goes into safe mode,
  // where the conditional compares the version read before.
  PlaceModuleDataPlugin();
  Use(SupplyWithTr410("1.0"));
  Outcome o = ProgramOnce(File(ListOf({27, 10, 45, 34, 36, 35, 18, 20, 49, 1, 22, 19, 21})));
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_TRUE(InOrder(
      Log(),
      {"[ProgramingCtrls]  ok, FW version is 2.0.",
       "[ProgramingCtrls] OK, FW version (v1.0) of PS  support the function (0.7 =< Sup.Ver.)",
       "[ProgramingCtrls]  Files with Baugr.Data are successfully cleared.",
       "[ProgramingCtrls]  FW version is 2.0.",
       "[ProgramingCtrls]  from VersionList 2.0 = 2.0 from Device => will do next command"}))
      << LogHolding("[ProgramingCtrls]");
  EXPECT_EQ(1u, Holding(Log(), "DO COMMAND 10: \"Wait1000ms\"").size());
  EXPECT_EQ("", benchctl::ReadState(bench_, "Device1", "Mode")) << "back in its firmware";
  ExpectPinned();
}

TEST_F(ModuleDataCommands, WritingBackRetriesABoundedNumberOfTimes) {
  struct Row {
    const char* name;
    const char* plugin;
    const char* result;
    const char* status;
    size_t writes, retryLines, attempts;
    size_t boxes;
  } rows[] = {
      {"a write that fails once goes on after its retry", "Fail=FileToModule\r\nAlternate=1\r\n",
       "1", "27100009", 2, 1, 1, 0},
      {"a write that always fails ends after three retries", "Fail=FileToModule\r\n", "0", "FFDD",
       4, 3, 1, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    PlaceModuleDataPlugin(r.plugin);
    Use(Tr410ReadyOnBind());
    Answer({{"", "Unable to write new Baugr.Data", IDOK}});
    Outcome o = ProgramOnce(File(ListOf({10, 34, 35})));
    EXPECT_EQ(r.result, o.result) << ::testing::PrintToString(SeenTexts());
    EXPECT_EQ(r.status, std::string(r.result) == "1" ? o.status : o.status.substr(4));
    EXPECT_EQ(r.writes, PluginCallsOf("FileToModule"));
    EXPECT_EQ(r.retryLines,
              Holding(Log(), "  Error in Write BD, will wait 3s and then try TR410_Write_BD again")
                  .size());
    EXPECT_EQ(r.attempts, Holding(Log(), "********** Try write DB and test its right").size());
    EXPECT_EQ(r.boxes, seen_.size());
    ExpectPinned(r.name);
  }
}

TEST_F(ModuleDataCommands, TheModulesDataComesBackByteForByteAfterTheModuleLostIt) {
  PlaceModuleDataPlugin();
  // Every byte value, line ends and an end-of-file mark among them.
  std::string data;
  for (int i = 0; i < 600; ++i) data += static_cast<char>((i * 7 + 3) % 256);
  const std::string module = *host_ / "Plugins\\Orvane.mod";
  ASSERT_TRUE(testsupport::WriteFile(module, data));
  Use(Tr410ReadyOnBind());

  Outcome backup = ProgramOnce(File(ListOf({10, 34}), "backup.bin"));
  EXPECT_EQ("1", backup.result);
  EXPECT_EQ("27100009", backup.status);
  EXPECT_EQ(data, testsupport::ReadFileOr(*host_ / "Baugr.dat")) << "the backup";

  // The update leaves the module without its data.
  ASSERT_TRUE(testsupport::WriteFile(module, ""));
  Outcome restore = ProgramOnce(File(ListOf({10, 35}), "restore.bin"));
  EXPECT_EQ("1", restore.result);
  EXPECT_EQ("27100009", restore.status);
  EXPECT_EQ(data, testsupport::ReadFileOr(module)) << "the module's data after the restore";
  EXPECT_FALSE(testsupport::FileExists(*host_ / "Baugr.dat")) << "the files are cleared";
  EXPECT_FALSE(testsupport::FileExists(*host_ / "Baugr.cnv"));
  ExpectPinned();
}

}  // namespace

namespace {

TEST_F(ModuleDataCommands, TheIntelligentRestartFallsBackToTheSupply) {
  // The module comes back from its reboot in safe mode again (its marker
  // stays set): the supply that carries it power-cycles it instead.
  benchctl::BenchSpec s = SupplyWithTr410("1.0");
  s.With("Mode", "boot").With("RebootMarker", "1").With("SafeSerial", "2safe001");
  Use(s);
  Answer({{"", "Device is in SAFE mode.", IDNO}});
  Outcome o = ProgramOnce(File(ListOf({29, 10, 48, 31})), "2safe001");
  EXPECT_EQ("1", o.result);
  EXPECT_EQ("27100009", o.status);
  EXPECT_TRUE(InOrder(
      Log(), {"[UsbDevCtrl] ERROR, device with vid:0x0E7B,pid:0x0006,s.n.:\"2001\" there isn't.",
              "[UsbDevCtrl]    (sn.: ?Dev \"2safe001\" = \"2001\" FromPS) => it is my device.",
              "[UsbDevCtrl]   OK, Reboot via PowerSupply",
              "[ProgramingCtrls]  Device succesfully reboot via PSs, now will wait 1s",
              " OK, to device was successfully sent command kill"}))
      << LogHolding("]");
  EXPECT_EQ("1", benchctl::ReadState(bench_, "Device0", "Reboots")) << "the supply's";
  EXPECT_EQ(1u, seen_.size());
  ExpectPinned();
}

}  // namespace

namespace {

TEST_F(ModuleDataCommands, AModuleThatDoesNotRebootAfterTheWriteIsRebootedThroughItsSupply) {
  // The module stays on the bus when told to reboot after its data was
  // written back: the supply that carries it power-cycles it, or, without
  // one, the user declines each of the three rounds. A supply that vanishes
  // or whose driver calls fail makes a round fail, not raise: the next round
  // follows and after the third the command fails with its box. The failed
  // reboot freed the connection, so no round finds the module again.
  const std::string notFound = "[ProgramingCtrls]  ERROR, self finding (nil).";
  const std::string notListed =
      "[UsbDevCtrl]   ERROR, my device (device: vid:0x0e7b, pid:0x0006, s.n.:\"2001\") is not in "
      "list";
  const std::string stillPlugged =
      "[UsbDevCtrl]     bad, this isn't my PS, device is still plug (device: vid:0x0e7b, "
      "pid:0x0006, s.n.:\"2001\")";
  struct Row {
    const char* name;
    bool supply;
    const char* fault;  // on the supply (slot 0)
    const char* result;
    const char* status;
    std::vector<std::string> lines;
    size_t rounds, boxes;
  } rows[] = {
      {"the supply reboots it in the first round",
       true,
       nullptr,
       "1",
       "27100009",
       {"[UsbDevCtrl] ERROR, device don't reboot, is possible that device in the mode don't "
        "support command for reboot...",
        notFound, "[ProgramingCtrls]  1. Try reboot via PS in Write_DB",
        "[UsbDevCtrl]     ok, this is my PS, device unpluged (device: vid:0x0e7b, pid:0x0006, "
        "s.n.:\"2001\")",
        "[ProgramingCtrls]  succesfully, 1. Try reboot via PS in Write_DB",
        "[ProgramingCtrls]  Wait on Irpt: OK"},
       1,
       0},
      {"no supply, and no reboot by hand in three rounds",
       false,
       nullptr,
       "0",
       "FFDD",
       {notFound, "[ProgramingCtrls]  1. Try reboot via PS in Write_DB", notFound,
        "[ProgramingCtrls]  2. Try reboot via PS in Write_DB", notFound,
        "[ProgramingCtrls]  3. Try reboot via PS in Write_DB"},
       3,
       4},
      {"the supply and the module vanish as the supply takes its first request",
       true,
       "Operation=VendorRequestOut Action=Unplug",
       "0",
       "FFDD",
       {notFound, "[ProgramingCtrls]  1. Try reboot via PS in Write_DB",
        "[UsbDevCtrl]     ok, this is my PS, device unpluged (device: vid:0x0e7b, pid:0x0006, "
        "s.n.:\"2001\")",
        "[UsbDevCtrl]   ERROR, Reboot via PowerSupply", notFound,
        "[ProgramingCtrls]  2. Try reboot via PS in Write_DB", notListed, notFound,
        "[ProgramingCtrls]  3. Try reboot via PS in Write_DB", notListed},
       3,
       1},
      {"the supply's driver fails every request it is sent",
       true,
       "Operation=VendorRequestOut Action=Status Status=0xE0000004 Times=0",
       "0",
       "FFDD",
       {notFound, "[ProgramingCtrls]  1. Try reboot via PS in Write_DB", stillPlugged, notFound,
        "[ProgramingCtrls]  2. Try reboot via PS in Write_DB", stillPlugged, notFound,
        "[ProgramingCtrls]  3. Try reboot via PS in Write_DB", stillPlugged},
       3,
       1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    PlaceModuleDataPlugin();
    benchctl::BenchSpec s = r.supply ? SupplyWithTr410("1.0") : Tr410ReadyOnBind();
    s.With("RebootFault", "Stays");
    if (r.fault) s.Fault(std::string(r.fault) + " Device=0");
    Use(s);
    Answer({{"", "I cannot find any PowerSupply", IDNO}, {"", "Unable to write", IDOK}});
    Outcome o = ProgramOnce(File(ListOf({10, 34, 35})));
    EXPECT_EQ(r.result, o.result);
    EXPECT_EQ(r.status, std::string(r.result) == "1" ? o.status : o.status.substr(4));
    EXPECT_TRUE(InOrder(Log(), r.lines)) << LogHolding("]");
    EXPECT_EQ(r.rounds, Holding(Log(), "Try reboot via PS in Write_DB").size() -
                            Holding(Log(), "succesfully, ").size());
    EXPECT_EQ(0u, Holding(Log(), "exception, ").size());
    EXPECT_EQ(r.boxes, seen_.size());
    if (std::string(r.result) == "0") {
      ASSERT_FALSE(SeenTexts().empty());
      EXPECT_EQ(std::string(kHeadTo) +
                    "Unable to write new Baugr.Data...Please, don't erase "
                    "TR410_BaugrDataBackup_*.zip file and contact support\r\nMsg for sup.: QV "
                    "PathTR410.3 \"ucTR410_Write_BD\"",
                SeenTexts().back());
    }
    ExpectPinned(r.name);
  }
}

TEST_F(ModuleDataCommands, TenBadBlocksEndTheWriteBack) {
  // Binds of 0x83: 1 read, 2 first wait (ready), then a write and a wait
  // after its reboot (storno) for each attempt.
  PlaceModuleDataPlugin();
  Use(Tr410ReadyOnBind().With("BindEvents", "6F02@100").With("BindEvents2", "6020@100"));
  Answer({{"", "Unable to write new Baugr.Data", IDOK}});
  Outcome o = ProgramOnce(File(ListOf({10, 34, 35})));
  EXPECT_EQ("0", o.result);
  EXPECT_EQ("FFDD", o.status.substr(4));
  EXPECT_EQ(10u, Holding(Log(), "[ProgramingCtrls]  Wait on Irpt: BAD").size()) << LogHolding("]");
  EXPECT_EQ(1u, Holding(Log(), "  10. ********** Try write DB and test its right").size());
  EXPECT_EQ(0u, Holding(Log(), "  11. ********** Try write DB").size());
  EXPECT_EQ(10u, PluginCallsOf("FileToModule"));
  EXPECT_EQ(0u, Holding(Log(), "Try clear files with Baugr.Data").size()) << "nothing is cleared";
  EXPECT_EQ(1u, seen_.size());
  ExpectPinned();
}

}  // namespace

namespace {

// The Info window once shown after a run: the run's lines with the line each
// wait rewrote in place, the last round of each search and the plug-in's
// percentage, as the time stamps and the bus's timing leave them.
// The Info window's text with the log's masks, and the rounds of a wait for
// a reboot and the time a wait for an event took (their lines are rewritten
// in place, so the files never see them): the machine's load decides them.
std::string MaskInfo(const std::string& text, const std::string& hostFolder) {
  static const std::regex kRounds("(wait(ing)? on (start|end) of reboot )[0-9]+ ms");
  static const std::regex kEnded("(stop of waiting [0-9]+ ms \\()[0-9]+ ms");
  std::string masked = std::regex_replace(MaskLog(text, hostFolder), kRounds, "$1# ms");
  return std::regex_replace(masked, kEnded, "$1# ms");
}

TEST_F(ModuleDataCommands, TheInfoWindowShowsTheRunsLines) {
  struct Row {
    const char* name;
    benchctl::BenchSpec bench;
    std::vector<Bytes> runs;  // the window shows the last
    std::vector<std::string> results;
    bool plugin;
  } rows[] = {
      {"the whole update with the short waits",
       Tr410(100),
       {{26, 27, 10, 18, 20, 12, 14, 15, 16, 19, 21, 22, 23, 24}},
       {"1"},
       false},
      {"the module's data read", Tr410ReadyOnBind(), {{10, 34}}, {"1"}, true},
      {"the module's data written back",
       Tr410ReadyOnBind(),
       {{10, 34}, {10, 35}},
       {"1", "1"},
       true},
      {"a write back without the data's files, tried again after a wait",
       Tr410ReadyOnBind(),
       {{10, 35}},
       {"0"},
       true},
      {"a reboot through the supply", SupplyWithTr410("1.0"), {{10, 36}}, {"1"}, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NewHost();
    if (r.plugin) PlaceModuleDataPlugin();
    Use(r.bench);
    std::vector<std::string> actions = {"load"};
    for (size_t i = 0; i < r.runs.size(); ++i)
      actions.push_back("prog:0x0E7B:6:2001:" +
                        File(ListOf(r.runs[i]), "job" + std::to_string(i) + ".bin"));
    for (const char* action : {"show", "textfile:", "free"}) actions.push_back(action);
    actions[actions.size() - 2] += std::to_string(tessaro::IDC_MEMO_INFO) + ":info.txt";
    ASSERT_TRUE(RunAnswered(actions));
    EXPECT_EQ(r.results, host_->Values("prog"));
    EXPECT_TRUE(testsupport::MatchesExpectedFile(
        MaskInfo(testsupport::ReadFileOr(*host_ / "info.txt"), host_->Path()),
        "flash-programmer/lib/tests/commands/expected/TheInfoWindowShowsTheRunsLines/" +
            FileNameOf(r.name) + ".info"));
  }
}

}  // namespace
