// The flash chip a program file is for (its ids, addresses, time limits and
// sector map), the list of chips read during one load, and the program
// blocks: the address-tagged pieces of the image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessaro/byte_stream.h"
#include "tessaro/line_lists.h"

namespace tessaro {

struct FlashSector {
  uint32_t start = 0;
  uint32_t size = 0;
};

// The access mode of a 16-bit flash written a word at a time.
constexpr uint8_t kWordModeAccess = 17;

struct FlashRecord {
  std::string name;
  uint8_t manufacturerId = 0;
  uint8_t accessMode = 0;  // kWordModeAccess or byte access
  bool WordMode() const { return accessMode == kWordModeAccess; }
  uint16_t deviceId = 0;
  uint32_t baseFlashAddress = 0;
  uint32_t sectorAddress = 0;
  uint16_t autoselectCommand1 = 0;
  uint16_t autoselectCommand2 = 0;
  int32_t pollPeriod = 0;
  int32_t chipEraseTimeout = 0;
  int32_t sectorEraseTimeout = 0;
  int32_t verifyTimeout = 0;
  int32_t programTimeout = 0;
  int32_t autoselectTimeout = 0;
  std::vector<FlashSector> sectors;
};

extern const char kFlashMark[];          // "FlashDescrToFile____v0.1000000"
extern const char kProgramBlocksMark[];  // "ProgramBlocksToFile_v0.1000000"
constexpr size_t kFlashFieldsSize = 40;

// Reads one flash record in its stream form.
void ReadFlashRecord(ByteStream& file, FlashRecord& record);

// The flash list: descriptions of the files read during one load.
class TFlashes {
 public:
  void Append(const FlashRecord& record) { records_.push_back(record); }
  FlashRecord Get(int index) const { return records_.at(static_cast<size_t>(index)); }
  const FlashRecord* Last() const { return records_.empty() ? nullptr : &records_.back(); }
  uint16_t Count() const { return static_cast<uint16_t>(records_.size()); }
  void Clear() { records_.clear(); }

 private:
  std::vector<FlashRecord> records_;
};

// A block's bytes are its own, or a view into the program file's bytes that
// the block list keeps alive (a 16 MiB image is not copied block by block).
struct ProgramBlock {
  uint32_t address = 0;
  std::vector<uint8_t> own;
  const uint8_t* view = nullptr;
  uint16_t size = 0;
  uint16_t Size() const { return size; }
  const uint8_t* Data() const { return view ? view : own.data(); }
};

class ProgramBlocks {
 public:
  // Adds a block with a copy of `data`.
  void Add(uint32_t address, uint16_t size, const uint8_t* data);
  // From now on blocks read from `source` refer to its bytes.
  void ShareSource(std::shared_ptr<const std::vector<uint8_t>> source) {
    source_ = std::move(source);
  }
  // Adds a block whose bytes lie in the shared source, else copies them.
  void AddFromSource(uint32_t address, uint16_t size, const uint8_t* data);
  void Clear() {
    blocks_.clear();
    source_.reset();
  }
  uint16_t Count() const { return static_cast<uint16_t>(blocks_.size()); }
  const ProgramBlock* Last() const { return blocks_.empty() ? nullptr : &blocks_.back(); }
  const std::vector<ProgramBlock>& Blocks() const { return blocks_; }

 private:
  std::vector<ProgramBlock> blocks_;
  std::shared_ptr<const std::vector<uint8_t>> source_;
};

// Reads the program-block section; clears the list first unless `keep`.
// Blocks of size 0 are read and dropped.
void ReadProgramBlocks(ByteStream& file, ProgramBlocks& blocks, bool keep);

// One line per block with the sectors it lies in; 2 when some block lies
// outside the sector map of `flash`, else 1.
int BlocksToLines(const ProgramBlocks& blocks, TStrings& lines, const FlashRecord& flash);

// The form's texts of a flash: "Manufacture ID 0x..,  Device ID 0x.." and one
// line per sector.
std::string FlashIdText(const FlashRecord& flash);
void SectorsToLines(const FlashRecord& flash, TStrings& lines);

}  // namespace tessaro
