// Block lines against the sector map and the flash record reader.
#include "tessaro/flash_description.h"

#include <gtest/gtest.h>

#include "tessaro/errors.h"

using namespace tessaro;

namespace {

FlashRecord EightSectors() {
  FlashRecord f;
  for (uint32_t i = 0; i < 8; ++i) f.sectors.push_back({i * 0x1000, 0x1000});
  return f;
}

std::string LineOf(uint32_t address, uint16_t size, int* result = nullptr) {
  ProgramBlocks blocks;
  std::vector<uint8_t> data(size, 0);
  blocks.Add(address, size, data.data());
  TMemoryLines lines;
  int r = BlocksToLines(blocks, lines, EightSectors());
  if (result) *result = r;
  return lines.Line(0);
}

}  // namespace

TEST(BlocksToLines, SectorTextOfABlock) {
  int result = 0;
  EXPECT_EQ("03:04 0x003800-0x0047FF, 0x1000B (04096) <000,0004096>",
            LineOf(0x3800, 0x1000, &result));
  EXPECT_EQ(1, result);
  EXPECT_EQ("03:06 0x003800-0x0067FF, 0x3000B (12288) <000,0012288>", LineOf(0x3800, 0x3000));
  EXPECT_EQ("  03: 0x003000-0x0030FF, 0x0100B (00256) <000,0000256>", LineOf(0x3000, 0x100));
  EXPECT_EQ("07:?? 0x007F00-0x0080FF, 0x0200B (00512) <000,0000512>",
            LineOf(0x7F00, 0x200, &result));
  EXPECT_EQ(2, result);
  EXPECT_EQ("????: 0x009000-0x00900F, 0x0010B (00016) <000,0000016>",
            LineOf(0x9000, 0x10, &result));
  EXPECT_EQ(2, result);
}

TEST(BlocksToLines, NoBlocksGivesOneAndRunningTotalGrows) {
  ProgramBlocks blocks;
  TMemoryLines lines;
  lines.Add("old");
  EXPECT_EQ(1, BlocksToLines(blocks, lines, EightSectors()));
  EXPECT_EQ(0, lines.Count());
  uint8_t data[3] = {};
  blocks.Add(0x10, 3, data);
  blocks.Add(0x20, 2, data);
  BlocksToLines(blocks, lines, EightSectors());
  EXPECT_EQ("  00: 0x000020-0x000021, 0x0002B (00002) <001,0000005>", lines.Line(1));
}

TEST(FlashRecordReader, ReadsAllFieldsAndRefusesAWrongMark) {
  std::vector<uint8_t> bytes = {30};
  for (char c : std::string(kFlashMark)) bytes.push_back(static_cast<uint8_t>(c));
  bytes.insert(bytes.end(), {2, 'F', '1', 0x01, 17, 0xAB, 0x22});
  for (int i = 0; i < 36; ++i) bytes.push_back(static_cast<uint8_t>(i));
  bytes.insert(bytes.end(), {1, 0, 0x00, 0x10, 0, 0, 0x00, 0x20, 0, 0});
  ByteStream s(bytes.data(), bytes.size());
  FlashRecord r;
  ReadFlashRecord(s, r);
  EXPECT_EQ("F1", r.name);
  EXPECT_EQ(17, r.accessMode);
  EXPECT_EQ(0x22AB, r.deviceId);
  EXPECT_EQ(0x03020100u, r.baseFlashAddress);
  EXPECT_EQ(static_cast<int32_t>(0x23222120), r.autoselectTimeout);
  ASSERT_EQ(1u, r.sectors.size());
  EXPECT_EQ(0x1000u, r.sectors[0].start);
  EXPECT_EQ(0x2000u, r.sectors[0].size);

  bytes[5] = 'X';
  ByteStream wrong(bytes.data(), bytes.size());
  try {
    ReadFlashRecord(wrong, r);
    FAIL() << "no error";
  } catch (const TessaroError& e) {
    EXPECT_STREQ("Difrend FlashMark in file.", e.what());
  }
}
