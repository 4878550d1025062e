// Programming and verifying blocks: the bytes that reach the flash, the
// exact lines, word-mode padding, wrong answers and the check of the whole
// image against the flash description.
#include "flash_fixture.h"
#include "testsupport/uidriver.h"

namespace tessaro {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

struct Image {
  ProgramBlocks blocks;
  TMemoryLines list;
  void Add(uint32_t address, const std::vector<uint8_t>& data) {
    blocks.Add(address, static_cast<uint16_t>(data.size()), data.data());
    list.Add("block");
    list.SetSelected(list.Count() - 1, true);
  }
  void SelectAll() { list.SelectAll(); }
};

TEST_F(FlashTest, ProgramThenVerifyTwoBlocks) {
  Use(Bench({{"FlashBusyPolls.0340", "0"}, {"FlashBusyPolls.0350", "0"}}));
  Image image;
  std::vector<uint8_t> first = Pattern(16, 1), second = Pattern(300, 9);
  image.Add(0x0100, first);
  image.Add(0x2000, second);
  ASSERT_TRUE(FlashProgram(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  EXPECT_EQ(
      (std::vector<std::string>{
          "",
          "=====   Programming: BaseFlash: 0x00000000, will programing 2 blocks of datas   =====",
          "  Programing: BaseFlash: 0x00000000, Block no.0: BlockAddress: 0x00000100, size: "
          "0x0010(16) ",
          "   OK Programming, Block 0 on address 0x00000100 size 16 was succesfully programed "
          "(100ms)",
          "  Programing: BaseFlash: 0x00000000, Block no.1: BlockAddress: 0x00002000, size: "
          "0x012C(300) ",
          "   OK Programming, Block 1 on address 0x00002000 size 300 was succesfully programed "
          "(100ms)",
      }),
      Lines());
  EXPECT_FALSE(image.list.Selected(0) || image.list.Selected(1)) << "done blocks are deselected";
  std::vector<uint8_t> flash = benchctl::ReadFlash(file_, 0);
  ASSERT_EQ(0x10000u, flash.size());
  EXPECT_EQ(first, std::vector<uint8_t>(flash.begin() + 0x100, flash.begin() + 0x110));
  EXPECT_EQ(second, std::vector<uint8_t>(flash.begin() + 0x2000, flash.begin() + 0x212C));
  EXPECT_EQ(0xFF, flash[0xFF]);
  EXPECT_EQ(0xFF, flash[0x110]);
  std::vector<std::string> sent = benchctl::CallRecord("VendorRequestOut FacId=0x0340");
  ASSERT_EQ(2u, sent.size());
  EXPECT_NE(std::string::npos,
            sent[0].find("len=36: 00 00 00 00 00 01 00 00 10 00 00 00 00 00 00 00 01 08 "))
      << sent[0];

  log_.Clear();
  image.SelectAll();
  ASSERT_TRUE(FlashVerify(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  EXPECT_EQ(
      (std::vector<std::string>{
          "",
          "=====   Verifying: BaseFlash: 0x00000000, will program 2 block of data   =====",
          "  Verifying:  BaseFlash: 0x00000000, Block no.0: BlockAddress(absolut): 0x00000100, "
          "size: 0x0010(16) ",
          "   OK Verifying, Block 0 on address 0x00000100 size 16 was succesfully verifyd "
          "(100ms)",
          "  Verifying:  BaseFlash: 0x00000000, Block no.1: BlockAddress(absolut): 0x00002000, "
          "size: 0x012C(300) ",
          "   OK Verifying, Block 1 on address 0x00002000 size 300 was succesfully verifyd "
          "(100ms)",
      }),
      Lines());
}

TEST_F(FlashTest, VerifyTakesTheAbsoluteAddress) {
  Use(Bench({{"FlashBase", "0x00800000"}, {"FlashBusyPolls.0350", "0"}}));
  Image image;
  image.Add(0x0040, Pattern(8, 3));
  ASSERT_TRUE(
      FlashProgram(Device(), image.list, image.blocks, 0x00800000, Chip(), Log(), Transfer()));
  image.SelectAll();
  log_.Clear();
  EXPECT_TRUE(
      FlashVerify(Device(), image.list, image.blocks, 0x00800000, Chip(), Log(), Transfer()));
  EXPECT_EQ("   OK Verifying, Block 0 on address 0x00800040 size 8 was succesfully verifyd (100ms)",
            Lines().back());
  std::vector<std::string> sent = benchctl::CallRecord("VendorRequestOut FacId=0x0350");
  ASSERT_EQ(1u, sent.size());
  EXPECT_NE(std::string::npos, sent[0].find("len=28: 40 00 80 00 08 00 00 00")) << sent[0];
}

TEST_F(FlashTest, ProgramAndVerifyFailures) {
  struct Row {
    const char* name;
    bool verify;
    std::vector<std::pair<const char*, const char*>> keys;
    bool programFirst;  // the same block programmed before with other bytes
    bool addressControl;
    bool result;
    std::string last;
  } rows[] = {
      {"programming over bytes not erased",
       false,
       {{"FlashBusyPolls.0340", "0"}},
       true,
       true,
       false,
       "  ERROR Programing, Device sent respond \"programming_error\" (100ms)"},
      {"verifying other bytes",
       true,
       {{"FlashBusyPolls.0350", "0"}},
       true,
       true,
       false,
       "  ERROR Verifying, Device sent respond \"error_verifying\" (100ms)"},
      {"a program block that times out",
       false,
       {{"FlashBusyPolls.0340", "100"}},
       false,
       true,
       false,
       "  ERROR, Programing, TIMEOUT (2100ms)"},
      {"a verify block that times out",
       true,
       {{"FlashBusyPolls.0350", "100"}},
       false,
       true,
       false,
       "  ERROR, Verifying, TIMEOUT (1100ms)"},
      {"a wrong address reported",
       false,
       {{"FlashAddressSkew", "2"}, {"FlashBusyPolls.0340", "0"}},
       false,
       true,
       false,
       "   ERROR Programming, Block 0 on address 0x00000102 was programed, but was want on "
       "0x00000100 (100ms)."},
      {"a wrong address without address control",
       false,
       {{"FlashAddressSkew", "2"}, {"FlashBusyPolls.0340", "0"}},
       false,
       false,
       true,
       "   OK Programming, Block 0 on address 0x00000100 size 4 was succesfully programed (100ms)"},
      {"a block past the flash end is refused by the device",
       false,
       {{"FlashSize", "0x100"}, {"FlashBusyPolls.0340", "0"}},
       false,
       true,
       false,
       "  ERROR Programing, unknow status \"error_programing_bad_size\" [no.69(26)] (100ms)"},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    benchctl::BenchSpec spec = Bench();
    for (auto& kv : r.keys) spec.With(kv.first, kv.second);
    Use(spec);
    if (r.programFirst) {
      Image before;
      before.Add(0x100, {0x0F, 0x0F, 0x0F, 0x0F});
      ASSERT_TRUE(FlashProgram(Device(), before.list, before.blocks, 0, Chip(), Log(), Transfer()));
    }
    SetAddressControl(r.addressControl);
    Image image;
    image.Add(0x100, {0xF0, 0xF0, 0xF0, 0xF0});
    bool result =
        r.verify ? FlashVerify(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer())
                 : FlashProgram(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer());
    EXPECT_EQ(r.result, result);
    EXPECT_EQ(r.last, Lines().back());
    EXPECT_EQ(!r.result, image.list.Selected(0)) << "a failed block stays selected";
  }
}

TEST_F(FlashTest, WordModePadsOddBlocks) {
  struct Row {
    const char* name;
    uint32_t address;
    size_t size;
    std::vector<std::string> boxes;
    const char* record;  // start of the request as sent
    std::string last;
  } rows[] = {
      {"odd address and odd size: one leading pad byte",
       0x0101,
       5,
       {"Flash is 16bit and has WORD MODE access and StartAdrees of Block is on Odd Address "
        "0x00000101\n\rDecrement StartAddress to Even and put NOP (0x00)"},
       "len=26: 00 00 00 00 00 01 00 00 06 00 00 00 00 00 00 00 FF 01 08",
       // the device reports the padded address it was sent: that is what is compared
       "   OK Programming, Block 0 on address 0x00000101 size 5 was succesfully programed (100ms)"},
      {"even address and odd size: one trailing pad byte",
       0x0100,
       5,
       {"Flash is 16bit and has WORD MODE access and Size of Block is Odd (5B)\n\rIncrement Size "
        "to "
        "Even and put NOP (0x00)"},
       "len=26: 00 00 00 00 00 01 00 00 06 00 00 00 00 00 00 00 01 08 0F 16 1D FF",
       "   OK Programming, Block 0 on address 0x00000100 size 5 was succesfully programed (100ms)"},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    Use(Bench({{"FlashBusyPolls.0340", "0"}}));
    FlashRecord chip = Chip();
    chip.accessMode = 17;
    Image image;
    image.Add(r.address, Pattern(r.size, 1));
    FlashProgram(Device(), image.list, image.blocks, 0, chip, Log(), Transfer());
    EXPECT_EQ(r.boxes, boxes_);
    std::vector<std::string> sent = benchctl::CallRecord("VendorRequestOut FacId=0x0340");
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find(r.record)) << sent[0];
    std::vector<std::string> lines = Lines();
    EXPECT_EQ("   !!!" + r.boxes[0], lines.at(3));
    EXPECT_EQ(r.last, lines.back());
  }
}

TEST_F(FlashTest, WordModeBlocksSplitAtAnOddBoundaryKeepEachOthersBytes) {
  Use(Bench({{"FlashBusyPolls.0340", "0"}, {"FlashBusyPolls.0350", "0"}}));
  FlashRecord chip = Chip();
  chip.accessMode = kWordModeAccess;
  Image image;
  image.Add(0x0100, {0x11, 0x22, 0x33});  // its last byte shares a word with the next block
  image.Add(0x0103, {0x44, 0x55, 0x66});
  ASSERT_TRUE(FlashProgram(Device(), image.list, image.blocks, 0, chip, Log(), Transfer()));
  std::vector<uint8_t> flash = benchctl::ReadFlash(file_, 0);
  ASSERT_GE(flash.size(), 0x106u);
  EXPECT_EQ((std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF}),
            std::vector<uint8_t>(flash.begin() + 0x100, flash.begin() + 0x107));
  image.SelectAll();
  EXPECT_TRUE(FlashVerify(Device(), image.list, image.blocks, 0, chip, Log(), Transfer()))
      << Lines().back();
}

TEST_F(FlashTest, NothingSelectedIsRefusedWithAMessage) {
  Use(Bench());
  Image image;
  image.Add(0x100, Pattern(4, 0));
  image.list.SetSelected(0, false);
  EXPECT_FALSE(FlashProgram(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  EXPECT_FALSE(FlashVerify(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  EXPECT_EQ((std::vector<std::string>{"You haven't selected sectors for programming",
                                      "You haven't selected sectors for verifying"}),
            boxes_);
  EXPECT_TRUE(Lines().empty());
  EXPECT_TRUE(benchctl::CallRecord("FacId=0x03").empty());
}

TEST_F(FlashTest, TheEmptySelectionWaitsForTheUserInAMessageBox) {
  Use(Bench());
  FlashMessage() = box_;
  testsupport::MessageBoxAnswerer answerer({{"Tessaro", "You haven't selected", IDOK}},
                                           GetCurrentProcessId());
  Image image;
  image.Add(0x100, Pattern(4, 0));
  image.list.SetSelected(0, false);
  EXPECT_FALSE(FlashVerify(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  std::vector<testsupport::AnsweredBox> seen = answerer.Seen();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("You haven't selected sectors for verifying", seen[0].text);
  EXPECT_EQ(IDOK, seen[0].buttonId);
}

TEST_F(FlashTest, EscDuringProgrammingStopsBeforeTheNextPoll) {
  Use(Bench({{"FlashBusyPolls.0340", "2"}}));
  Image image;
  image.Add(0x100, Pattern(4, 0));
  image.Add(0x200, Pattern(4, 1));
  stopAtRead_ = 4;  // the first status read of block 1
  EXPECT_FALSE(FlashProgram(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(
      "   OK Programming, Block 0 on address 0x00000100 size 4 was succesfully programed "
      "(300ms)",
      lines.at(4));
  EXPECT_EQ("   WARNING Programming, Action was STORNO by user", lines.back());
  EXPECT_FALSE(image.list.Selected(0));
  EXPECT_TRUE(image.list.Selected(1)) << "the stopped block stays selected";
  EXPECT_EQ(4u, benchctl::CallRecord("VendorRequestIn FacId=0x0300").size())
      << "no poll after the stop";
  std::vector<uint8_t> flash = benchctl::ReadFlash(file_, 0);
  ASSERT_EQ(0x10000u, flash.size());
  EXPECT_EQ(Pattern(4, 1), std::vector<uint8_t>(flash.begin() + 0x200, flash.begin() + 0x204))
      << "the device still programs the block it took";
}

TEST_F(FlashTest, TheWholeImageIsCheckedAgainstTheFlashBeforeAnyErase) {
  struct Row {
    const char* name;
    uint32_t address;
    size_t size;
    uint8_t accessMode;
    bool fits;
    const char* line;
  } rows[] = {
      {"inside one sector", 0x0100, 16, 0, true, nullptr},
      {"over two neighbouring sectors", 0x0FF0, 0x20, 0, true, nullptr},
      {"up to the last byte", 0xFFF0, 0x10, 0, true, nullptr},
      {"one byte past the flash end", 0xFFF0, 0x11, 0, false,
       "  ERROR, Block 0 on address 0x0000FFF0 size 17 lies outside the flash \"AM29F400BB\""},
      {"starting past the end", 0x10000, 1, 0, false,
       "  ERROR, Block 0 on address 0x00010000 size 1 lies outside the flash \"AM29F400BB\""},
      {"too long for one request once padded", 0x0001, 65515, 17, false,
       "  ERROR, Block 0 on address 0x00000001 size 65515 is too long for one request"},
  };
  for (const Row& r : rows) {
    ROW_TRACE(r.name);
    log_.Clear();
    FlashRecord chip = Chip();
    chip.accessMode = r.accessMode;
    if (r.size > 0x1000) chip.sectors = {{0, 0x20000}};
    Image image;
    image.Add(r.address, std::vector<uint8_t>(r.size, 0));
    EXPECT_EQ(r.fits, CheckImageAgainstFlash(image.blocks, chip, &log_));
    EXPECT_EQ(r.line ? std::vector<std::string>{r.line} : std::vector<std::string>{}, Lines());
  }
}

TEST_F(FlashTest, ABlockTooLongForOneRequestFailsWithoutBeingSent) {
  Use(Bench({{"FlashSize", "0x20000"}}));
  FlashRecord chip = Chip();
  chip.accessMode = 17;
  Image image;
  image.Add(0x0001, std::vector<uint8_t>(65515, 0));
  EXPECT_FALSE(FlashProgram(Device(), image.list, image.blocks, 0, chip, Log(), Transfer()));
  EXPECT_EQ(
      "  --- ERROR Programing, Block no.0 is too long for one request (65516 B, at most "
      "65515 B) ---",
      Lines().back());
  EXPECT_EQ(Lines().back(), boxes_.back());
  EXPECT_TRUE(benchctl::CallRecord("FacId=0x0340").empty());
}

// The flash file beside the bench file and the digest in it, as any process
// reads them: the digest is the CRC-16 of the file's bytes after each change.
std::string FileDigest(const std::string& benchFile) {
  std::vector<uint8_t> flash = benchctl::ReadFlash(benchFile, 0);
  return FormatText("%4.4X", {Crc16(0, flash.data(), flash.size())});
}

TEST_F(FlashTest, TheFlashFileAndItsDigestFollowEveryChange) {
  Use(Bench({{"FlashBusyPolls.0340", "0"}, {"FlashBusyPolls.0331", "0"}}));
  struct Step {
    const char* name;
    uint32_t address;  // a block programmed there, or the sector erased when size is 0
    size_t size;
  } steps[] = {
      {"a block inside sector 0", 0x0100, 16},
      {"a block at an odd address over a sector boundary", 0x2F81, 300},
      {"a block ending at the flash's end", 0xFF00, 0x100},
      {"sector 2 erased", 0x2000, 0},
      {"a block over bytes programmed before", 0x0108, 32},
  };
  std::vector<uint8_t> expected(0x10000, 0xFF);
  for (const Step& step : steps) {
    if (step.size) {
      Image image;
      std::vector<uint8_t> data = Pattern(step.size, static_cast<uint8_t>(step.address));
      image.Add(step.address, data);
      FlashProgram(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer());
      for (size_t i = 0; i < step.size; ++i) expected[step.address + i] &= data[i];
    } else {
      TMemoryLines sectors;
      for (int i = 0; i < 16; ++i) sectors.Add("sector");
      sectors.SetSelected(static_cast<int>(step.address / 0x1000), true);
      ASSERT_TRUE(FlashEraseSectors(Device(), sectors, Chip(), 0, Log(), Transfer())) << step.name;
      std::fill(expected.begin() + step.address, expected.begin() + step.address + 0x1000, 0xFF);
    }
    EXPECT_EQ(expected, benchctl::ReadFlash(file_, 0)) << step.name;
    EXPECT_EQ(FileDigest(file_), benchctl::FlashDigest(file_, 0)) << step.name;
  }
}

TEST_F(FlashTest, FlashContentsChangedByAnotherProcessAreTheOnesVerified) {
  Use(Bench({{"FlashBusyPolls.0340", "0"}, {"FlashBusyPolls.0350", "0"}}));
  Image image;
  image.Add(0x0100, Pattern(16, 1));
  ASSERT_TRUE(FlashProgram(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
  // Another process's bench programs the same flash: a new file and digest.
  std::vector<uint8_t> other(0x10000, 0xFF);
  std::vector<uint8_t> block = Pattern(16, 40);
  std::copy(block.begin(), block.end(), other.begin() + 0x100);
  ASSERT_TRUE(testsupport::WriteFile(file_ + ".flash0", std::string(other.begin(), other.end())));
  std::string ini;
  ASSERT_TRUE(testsupport::ReadFile(file_, &ini));
  std::string digest = "FlashDigest=" + benchctl::FlashDigest(file_, 0);
  size_t at = ini.find(digest);
  ASSERT_NE(std::string::npos, at);
  ini.replace(at, digest.size(),
              FormatText("FlashDigest=%4.4X\r\nChangedBy=another process",
                         {Crc16(0, other.data(), other.size())}));
  ASSERT_TRUE(testsupport::WriteFile(file_, ini));

  Image theirs;
  theirs.Add(0x0100, block);
  EXPECT_TRUE(FlashVerify(Device(), theirs.list, theirs.blocks, 0, Chip(), Log(), Transfer()))
      << Lines().back();
  image.SelectAll();
  EXPECT_FALSE(FlashVerify(Device(), image.list, image.blocks, 0, Chip(), Log(), Transfer()));
}

}  // namespace
}  // namespace tessaro
