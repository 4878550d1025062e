// Identifying the chip and erasing it, whole or by sectors: the success
// paths with their exact lines, each kind of wrong device answer, time-outs
// on the bench clock, retries of short and broken answers, and Esc.
#include "flash_fixture.h"

namespace tessaro {
namespace {

const char kHeading[] =
    "=====   Autoselect: BaseFlash: 0x00000000, SectorAddress: 0x00000AAA, commands: "
    "0x0090,0x00F0   =====";
const char kFound[] =
    "  OK Autoselect, found flash on BaseAddress 0x00000000 \n\r    ManufactureID: 0x01, DeviceID: "
    "0x2258, SectorProtectin on Address 0x00000AAA: 0x00 (%dms)";

std::string Found(int ms) { return FormatText(kFound, {ms}); }

TEST_F(FlashTest, AutoselectAnswersAndFailures) {
  std::string badCrc =
      "12000100582200"
      "00";
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, const char*>> keys;
    std::string fault;
    bool result;
    uint8_t state;
    std::vector<std::string> tail;  // the lines after the heading
  } rows[] = {
      {"the chip answers after one busy poll", {}, "", true, 9, {"  waiting: .", Found(200)}},
      {"another chip is named with both ids",
       {{"FlashDeviceId", "0x1234"}, {"FlashManufacturer", "0x20"}},
       "",
       false,
       9,
       {"  waiting: .",
        "  ERROR Autoselect, found other flash (200ms)\n\r    need:  ManufactureID: 0x01, "
        "DeviceID: "
        "0x2258 ---\n\r    found: ManufactureID: 0x20, DeviceID: 0x1234 ---"}},
      {"the device's error status",
       {{"FlashAnswer.0320", "0x0013"}, {"FlashBusyPolls.0320", "0"}},
       "",
       false,
       10,
       {"  ERROR Autoselect, Device sent respond \"error_autoselect\" (100ms)"}},
      {"a disabled command",
       {{"FlashAnswer.0320", "0x0004"}, {"FlashBusyPolls.0320", "0"}},
       "",
       false,
       4,
       {"  waiting: .", "  ERROR Autoselect, Device sent respond \"disabled_command\" (100ms)"}},
      {"a status code outside the table",
       {{"FlashAnswer.0320", "0x0005"}, {"FlashBusyPolls.0320", "0"}},
       "",
       false,
       80,
       {"  waiting: .",
        "  ERROR Autoselect, unknow status \"unknow_flash_status\" [no.65535(80)] (100ms)"}},
      {"busy past the time-out: the first poll above 500 ms",
       {{"FlashBusyPolls.0320", "1000"}},
       "",
       false,
       5,
       {"  waiting: w-",
        "  ERROR, Autoselect, TIMEOUT: BaseFlash: 0x00000000, SectorAddress: 0x00000AAA (600ms)"}},
      {"three short answers are read again",
       {},
       "Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=3 Times=3",
       true,
       9,
       {"   ! ERROR Autoselect, <t>: readen bad length of data ( 3 B, must be 8 B), will read "
        "again ",
        "   ! ERROR Autoselect, <t>: readen bad length of data ( 3 B, must be 8 B), will read "
        "again ",
        "   ! ERROR Autoselect, <t>: readen bad length of data ( 3 B, must be 8 B), will read "
        "again ",
        Found(400)}},
      // The busy answer between them turns the last line's final blank into the waiting mark.
      {"a fourth short answer stops the reading though a good one came between",
       {{"FlashBusyPolls.0320", "10"}},
       "Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=3 Times=3",
       false,
       1,
       {"   ! ERROR Autoselect, <t>: readen bad length of data ( 3 B, must be 8 B), will read "
        "again ",
        "   ! ERROR Autoselect, <t>: readen bad length of data ( 3 B, must be 8 B), will read "
        "again ",
        "   ! ERROR Autoselect, <t>: readen bad length of data ( 3 B, must be 8 B), will read "
        "againw",
        "  ERROR Autoselect, readen bad length of data ( 3 B, must be 8 B), reading is stop "
        "(500ms)"}},
      {"a fourth bad CRC stops the reading",
       {},
       "Operation=VendorRequestIn FacId=0x0300 Action=Malformed Data=" + badCrc + " Times=4",
       false,
       2,
       {"   ! ERROR Autoselect, <t>: Bad CRC ( 0x00 , must be 0x4664 B), will read again ",
        "   ! ERROR Autoselect, <t>: Bad CRC ( 0x00 , must be 0x4664 B), will read again ",
        "   ! ERROR Autoselect, <t>: Bad CRC ( 0x00 , must be 0x4664 B), will read again ",
        "  ERROR Autoselect, Bad CRC16 ( 0x0000 , must be 0x4664 B), reading is stop (400ms)"}},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    for (auto& kv : r.keys) spec.With(kv.first, kv.second);
    if (!r.fault.empty()) spec.Fault(r.fault);
    if (r.state == 1)
      spec.Fault("Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=3 After=1");
    Use(spec);
    EXPECT_EQ(r.result, FlashAutoselect(Device(), Chip(), 0, 0xAAA, Log(), Transfer()));
    EXPECT_EQ(r.state, Flash().FlashState);
    std::vector<std::string> want = {"", kHeading};
    want.insert(want.end(), r.tail.begin(), r.tail.end());
    EXPECT_EQ(want, Lines());
  }
}

TEST_F(FlashTest, AutoselectSendsItsRequestAndKeepsWhatItFound) {
  Use(Bench({{"FlashProtection", "0x01"}}));
  FlashRecord chip = Chip();
  chip.accessMode = 17;
  EXPECT_TRUE(FlashAutoselect(Device(), chip, 0x400000, 0xAAA, Log(), Transfer()));
  EXPECT_EQ(0x01, Flash().FoundManufactureID);
  EXPECT_EQ(0x2258, Flash().FoundDeviceID);
  EXPECT_EQ(0x01, Flash().FoundSectorProtection);
  std::vector<std::string> sent = benchctl::CallRecord("VendorRequestOut FacId=0x0320");
  ASSERT_EQ(1u, sent.size());
  EXPECT_NE(std::string::npos,
            sent[0].find("wIndex=0 len=15: 00 00 40 00 AA 0A 00 00 90 00 F0 00 11 "))
      << sent[0];
  EXPECT_EQ("for command autoselect: CMD_FLASH_AUTOSELECT", transfer_.Lines().at(0));
  EXPECT_EQ("----- for command autoselect: CMD_GET_FLASH_STATUS -----", transfer_.Lines().at(3));
}

TEST_F(FlashTest, ChipErase) {
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, const char*>> keys;
    int stopAt;
    bool result;
    std::vector<std::string> tail;
  } rows[] = {
      {"erased after three busy polls",
       {{"FlashBusyPolls.0330", "3"}},
       0,
       true,
       {"  waiting: \\", "   OK EraseChip, Chip was succesfully erased (400ms)"}},
      {"the device's error status",
       {{"FlashAnswer.0330", "0x0023"}},
       0,
       false,
       {"  waiting: .", "  ERROR EraseChip, Device sent respond \"error_chip_erase\" (200ms)"}},
      {"busy past the time-out",
       {{"FlashBusyPolls.0330", "1000000"}},
       0,
       false,
       // One "w" every five polls: 120 of them after 600 polls.
       {"  waiting: " + std::string(120, 'w') + "-", "  ERROR, EraseChip, TIMEOUT (60100ms)"}},
      {"Esc ends the poll at the next round",
       {{"FlashBusyPolls.0330", "10"}},
       3,
       false,
       {"  waiting: \\", "   WARNING EraseChip, Action was STORNO by user"}},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    for (auto& kv : r.keys) spec.With(kv.first, kv.second);
    Use(spec);
    reads_ = 0;
    stopAtRead_ = r.stopAt;
    EXPECT_EQ(r.result, FlashEraseChip(Device(), Chip(), 0x1234, Log(), Transfer()));
    std::vector<std::string> want = {"", "=====   EraseChip: BaseFlash: 0x00001234   ====="};
    want.insert(want.end(), r.tail.begin(), r.tail.end());
    EXPECT_EQ(want, Lines());
  }
}

void CALLBACK PressEsc(HWND, UINT, UINT_PTR, DWORD) { SetStopRequested(true); }

TEST_F(FlashTest, EscWhileAPollWaitsEndsTheWaitAtOnce) {
  // The bench clock at wall speed and the longest poll period: Esc comes
  // as a message 100 ms into the first wait, which ends then, before any
  // status is read.
  benchctl::BenchSpec s;
  s.TimeScale(1).Instrument(5, "1001").With("FlashSize", "0x10000");
  s.With("FlashBusyPolls.0330", "1000000");
  Use(s);
  FlashRecord times = Chip();
  times.pollPeriod = kLongestPollPeriod;
  times.chipEraseTimeout = 60000;
  SetFlashTimes(times);
  UINT_PTR timer = SetTimer(nullptr, 0, 100, &PressEsc);
  EXPECT_FALSE(FlashEraseChip(Device(), Chip(), 0, Log(), Transfer()));
  KillTimer(nullptr, timer);
  EXPECT_EQ("   WARNING EraseChip, Action was STORNO by user", Lines().back());
  for (const std::string& line : transfer_.Lines())
    EXPECT_EQ(std::string::npos, line.find("CMD_GET_FLASH_STATUS")) << line;
}

TEST_F(FlashTest, SectorErase) {
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, const char*>> keys;
    int stopAt;
    bool addressControl;
    bool result;
    std::vector<bool> stillSelected;  // sectors 0..3
    std::vector<std::string> tail;
  } rows[] = {
      {"two sectors erased",
       {},
       0,
       true,
       true,
       {false, false, false, false},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "  waiting: .",
        "   OK EraseSector, Sector 1 on address 0x00001000 was succesfully erased (200ms)",
        "  EraseSector: BaseFlash: 0x00000000, Sector no.3: SectorAddress: 0x00003000 ",
        "  waiting: .",
        "   OK EraseSector, Sector 3 on address 0x00003000 was succesfully erased (200ms)"}},
      {"a wrong address reported stops the erase",
       {{"FlashAddressSkew", "0x10"}},
       0,
       true,
       false,
       {false, true, false, true},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "  waiting: .",
        "   ERROR EraseSector, Sector 1 on address 0x00001010 was erased, but was want on "
        "0x00001000 (200ms)."}},
      {"without address control the reported address is not compared",
       {{"FlashAddressSkew", "0x10"}, {"FlashBusyPolls.0331", "0"}},
       0,
       false,
       true,
       {false, false, false, false},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "   OK EraseSector, Sector 1 on address 0x00001000 was succesfully erased (100ms)",
        "  EraseSector: BaseFlash: 0x00000000, Sector no.3: SectorAddress: 0x00003000 ",
        "   OK EraseSector, Sector 3 on address 0x00003000 was succesfully erased (100ms)"}},
      {"the device's error status stops the erase",
       {{"FlashAnswer.0331", "0x0033"}, {"FlashBusyPolls.0331", "0"}},
       0,
       true,
       false,
       {false, true, false, true},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "  ERROR EraseSector, Device sent respond \"error_sector_erase\" (100ms)"}},
      {"busy past 1700 ms",
       {{"FlashBusyPolls.0331", "1000"}},
       0,
       true,
       false,
       {false, true, false, true},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "  waiting: www|", "  ERROR, EraseSector, TIMEOUT (1800ms)"}},
      {"busy on the bench clock past 1700 ms",
       {{"FlashBusyMs.0331", "100000000"}, {"FlashBusyPolls.0331", "0"}},
       0,
       true,
       false,
       {false, true, false, true},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "  waiting: www|", "  ERROR, EraseSector, TIMEOUT (1800ms)"}},
      {"Esc during the second sector: the first stays erased and deselected",
       {{"FlashBusyPolls.0331", "3"}},
       6,
       true,
       false,
       {false, false, false, true},
       {"  EraseSector: BaseFlash: 0x00000000, Sector no.1: SectorAddress: 0x00001000 ",
        "  waiting: \\",
        "   OK EraseSector, Sector 1 on address 0x00001000 was succesfully erased (400ms)",
        "  EraseSector: BaseFlash: 0x00000000, Sector no.3: SectorAddress: 0x00003000 ",
        "  waiting: |", "   WARNING EraseSector, Action was STORNO by user"}},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    for (auto& kv : r.keys) spec.With(kv.first, kv.second);
    Use(spec);
    SetAddressControl(r.addressControl);
    reads_ = 0;
    stopAtRead_ = r.stopAt;
    TMemoryLines sectors;
    for (int i = 0; i < 4; ++i) sectors.Add("sector");
    sectors.SetSelected(1, true);
    sectors.SetSelected(3, true);
    EXPECT_EQ(r.result, FlashEraseSectors(Device(), sectors, Chip(), 0, Log(), Transfer()));
    std::vector<std::string> want = {
        "", "=====   SectorErase: BaseFlash: 0x00000000, will erase 2 sectors   ====="};
    want.insert(want.end(), r.tail.begin(), r.tail.end());
    EXPECT_EQ(want, Lines());
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(r.stillSelected[i], sectors.Selected(i)) << "sector " << i;
  }
}

TEST_F(FlashTest, ElevenShortAnswersStopASectorEraseTenDoNot) {
  for (int shorts : {10, 11}) {
    ROW_TRACE(std::to_string(shorts) + " short answers");
    Use(Bench({{"FlashBusyPolls.0331", "0"}})
            .Fault("Operation=VendorRequestIn FacId=0x0300 Action=Short Bytes=7 Times=" +
                   std::to_string(shorts)));
    TMemoryLines sectors;
    sectors.Add("sector");
    sectors.SetSelected(0, true);
    EXPECT_EQ(shorts == 10, FlashEraseSectors(Device(), sectors, Chip(), 0, Log(), Transfer()));
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(shorts == 10 ? "   OK EraseSector, Sector 0 on address 0x00000000 was succesfully "
                             "erased (1100ms)"
                           : "  ERROR EraseSector, readen bad length of data ( 7 B, must be 8 B), "
                             "reading is stop (1100ms)",
              lines.back());
    EXPECT_EQ(14u, lines.size()) << "heading, sector line, ten lines read again, result";
  }
}

TEST_F(FlashTest, ErasingClearsTheFlash) {
  Use(Bench());
  std::vector<uint8_t> image(0x200, 0x00);
  ProgramBlocks blocks;
  blocks.Add(0x0F00, 0x200, image.data());  // over the end of sector 0 into sector 1
  TMemoryLines list;
  list.Add("block");
  list.SelectAll();
  ASSERT_TRUE(FlashProgram(Device(), list, blocks, 0, Chip(), Log(), Transfer()));
  TMemoryLines sectors;
  for (int i = 0; i < 16; ++i) sectors.Add("sector");
  sectors.SetSelected(1, true);
  ASSERT_TRUE(FlashEraseSectors(Device(), sectors, Chip(), 0, Log(), Transfer()));
  std::vector<uint8_t> flash = benchctl::ReadFlash(file_, 0);
  ASSERT_EQ(0x10000u, flash.size());
  EXPECT_EQ(0x00, flash[0xFFF]) << "sector 0 keeps its bytes";
  EXPECT_EQ(0xFF, flash[0x1000]) << "sector 1 is erased";
  EXPECT_EQ(0xFF, flash[0x10FF]);
  ASSERT_TRUE(FlashEraseChip(Device(), Chip(), 0, Log(), Transfer()));
  EXPECT_EQ(std::vector<uint8_t>(0x10000, 0xFF), benchctl::ReadFlash(file_, 0));
  std::vector<uint8_t> erased(0x10000, 0xFF);
  EXPECT_EQ(FormatText("%4.4X", {Crc16(0, erased.data(), erased.size())}),
            benchctl::FlashDigest(file_, 0));
}

}  // namespace
}  // namespace tessaro
