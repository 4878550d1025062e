// Makes program files for tests from a short description: a valid file by
// default, and every kind of broken one by changing a field of the
// description (marks, versions, command codes, CRC) or by cutting the file
// inside a field and giving it a fresh CRC, so that only the cut is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaro_test {

using Bytes = std::vector<uint8_t>;

struct FlashSpec {
  std::string mark = "FlashDescrToFile____v0.1000000";
  std::string name = "AM29F400BB";
  uint8_t manufacturerId = 0x01;
  uint8_t accessMode = 17;
  uint16_t deviceId = 0x22AB;
  uint32_t baseFlashAddress = 0x400000;
  uint32_t sectorAddress = 0x000AAA;
  uint16_t autoselectCommand1 = 0x0090;
  uint16_t autoselectCommand2 = 0x00F0;
  int32_t pollPeriod = 50;
  int32_t chipEraseTimeout = 30000;
  int32_t sectorEraseTimeout = 1500;
  int32_t verifyTimeout = 900;
  int32_t programTimeout = 1800;
  int32_t autoselectTimeout = 400;
  // {start, size}: 16 K, 8 K, 8 K, 32 K, then 64 K sectors.
  std::vector<std::pair<uint32_t, uint32_t>> sectors = {
      {0x00000, 0x4000},  {0x04000, 0x2000},  {0x06000, 0x2000}, {0x08000, 0x8000},
      {0x10000, 0x10000}, {0x20000, 0x10000}, {0x30000, 0x10000}};
};

struct BlockSpec {
  uint32_t address = 0;
  Bytes data;
};

struct ProgramFileSpec {
  std::string headerMark = "UsbDevDescripToFile_v0.1000000";
  uint8_t formatMajor = 1;
  uint8_t formatMinor = 1;
  uint16_t vid = 0x0E7B;
  uint16_t pid = 5;
  Bytes commands = {10, 12, 14, 15, 16, 11};
  std::vector<uint32_t> versions = {0x00010002, 0x00020000};
  std::string versionText = "2.01";
  // Written when the command list holds a byte 33 (37); nullopt: the usual mark.
  std::optional<std::string> pathMark1;
  uint32_t pathVersion1 = 0x00010005;
  std::optional<std::string> pathMark2;
  uint32_t pathVersion2 = 0x00010006;
  FlashSpec flash;
  bool withSelectedSectors = true;
  std::string selectedSectorsMark = "CntSelBnk";
  std::vector<uint16_t> selectedSectors = {0, 1};
  std::string blocksMark = "ProgramBlocksToFile_v0.1000000";
  std::vector<BlockSpec> blocks = {{0x0000, Bytes(32, 0xA5)}, {0x4100, Bytes(16, 0x5A)}};
  bool correctCrc = true;
};

// Where a field of the written file starts.
struct FieldOffset {
  std::string name;  // "header.vid", "flash.sectors", "blocks.block0.data", ...
  size_t offset;
};

class ProgramFileWriter {
 public:
  // The file for `spec`; `fields` receives every field's offset in file order.
  static Bytes Write(const ProgramFileSpec& spec, std::vector<FieldOffset>* fields = nullptr);
  // The first `length` bytes of `file` followed by a CRC that makes them valid.
  static Bytes CutWithCrc(const Bytes& file, size_t length);
  // Makes a file valid again after its bytes were changed (last two bytes).
  static void FixCrc(Bytes& file);
  // A short text field: length byte and characters.
  static void AppendShortText(Bytes& out, const std::string& text);
};

// A file of about `size` bytes: one flash with enough sectors and blocks of
// 4000 bytes each.
ProgramFileSpec LargeProgramFileSpec(size_t size);

}  // namespace tessaro_test
