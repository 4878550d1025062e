#include "tessaro/flash_description.h"

#include <cstring>

#include "tessaro/errors.h"
#include "tessaro/format_text.h"

namespace tessaro {

const char kFlashMark[] = "FlashDescrToFile____v0.1000000";
const char kProgramBlocksMark[] = "ProgramBlocksToFile_v0.1000000";

namespace {

constexpr size_t kMarkSize = 31;

bool IsMark(const uint8_t* bytes, const char* mark) {
  size_t n = std::strlen(mark);
  return bytes[0] == n && std::memcmp(bytes + 1, mark, n) == 0;
}

}  // namespace

void ReadFlashRecord(ByteStream& file, FlashRecord& record) {
  uint8_t mark[kMarkSize];
  if (file.Read(mark, kMarkSize) != kMarkSize)
    throw TessaroError("Read error, FlashMark from file.");
  if (!IsMark(mark, kFlashMark)) throw TessaroError("Difrend FlashMark in file.");
  const std::string error = "Read error, Flash from file.";
  FlashRecord r;
  r.name = file.ReadShortString(error);
  r.manufacturerId = file.ReadU8(error);
  r.accessMode = file.ReadU8(error);
  r.deviceId = file.ReadU16(error);
  r.baseFlashAddress = file.ReadU32(error);
  r.sectorAddress = file.ReadU32(error);
  r.autoselectCommand1 = file.ReadU16(error);
  r.autoselectCommand2 = file.ReadU16(error);
  r.pollPeriod = file.ReadI32(error);
  r.chipEraseTimeout = file.ReadI32(error);
  r.sectorEraseTimeout = file.ReadI32(error);
  r.verifyTimeout = file.ReadI32(error);
  r.programTimeout = file.ReadI32(error);
  r.autoselectTimeout = file.ReadI32(error);
  // A count of 0 reads as an empty sector map.
  uint16_t count = file.ReadU16(error);
  r.sectors.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    FlashSector s;
    s.start = file.ReadU32(error);
    s.size = file.ReadU32(error);
    r.sectors.push_back(s);
  }
  record = std::move(r);
}

void ProgramBlocks::Add(uint32_t address, uint16_t size, const uint8_t* data) {
  ProgramBlock block;
  block.address = address;
  block.own.assign(data, data + size);
  block.size = size;
  blocks_.push_back(std::move(block));
}

void ProgramBlocks::AddFromSource(uint32_t address, uint16_t size, const uint8_t* data) {
  auto at = reinterpret_cast<uintptr_t>(data);
  auto begin = source_ ? reinterpret_cast<uintptr_t>(source_->data()) : 0;
  if (!source_ || at < begin || at + size > begin + source_->size()) {
    Add(address, size, data);
    return;
  }
  ProgramBlock block;
  block.address = address;
  block.view = data;
  block.size = size;
  blocks_.push_back(std::move(block));
}

void ReadProgramBlocks(ByteStream& file, ProgramBlocks& blocks, bool keep) {
  if (!keep) blocks.Clear();
  uint8_t mark[kMarkSize];
  if (file.Read(mark, kMarkSize) != kMarkSize || !IsMark(mark, kProgramBlocksMark))
    throw TessaroError("Read error, ProgramBlocksMark from file.");
  const std::string error = "Read error, ProgramBlocksfrom file.";
  uint16_t count = file.ReadU16(error);
  for (uint16_t i = 0; i < count; ++i) {
    uint32_t address = file.ReadU32(error);
    uint16_t size = file.ReadU16(error);
    const uint8_t* data = file.Take(size, error);
    if (size) blocks.AddFromSource(address, size, data);
  }
}

namespace {

std::string SectorText(const FlashRecord& flash, uint32_t start, uint32_t last) {
  const auto& sectors = flash.sectors;
  for (size_t j = 0; j < sectors.size(); ++j) {
    uint64_t end = static_cast<uint64_t>(sectors[j].start) + sectors[j].size;
    if (end <= start) continue;
    if (last < end) return FormatText("  %2.2d:", {static_cast<unsigned>(j)});
    std::string text = FormatText("%2.2d:", {static_cast<unsigned>(j)});
    for (size_t k = j + 1; k < sectors.size(); ++k) {
      if (static_cast<uint64_t>(sectors[k].start) + sectors[k].size > last)
        return text + FormatText("%2.2d", {static_cast<unsigned>(k)});
    }
    return text + "??";
  }
  return "????:";
}

}  // namespace

int BlocksToLines(const ProgramBlocks& blocks, TStrings& lines, const FlashRecord& flash) {
  lines.Clear();
  int result = 1;
  uint32_t total = 0;
  const auto& list = blocks.Blocks();
  for (size_t i = 0; i < list.size(); ++i) {
    const ProgramBlock& b = list[i];
    uint32_t last = b.address + b.Size() - 1;
    std::string text = SectorText(flash, b.address, last);
    total += b.Size();
    lines.Add(FormatText("%s 0x%1:6.6X-0x%2:6.6X, 0x%3:4.4XB (%3:5.5d) <%3.3d,%7.7d>",
                         {text, b.address, last, b.Size(), static_cast<unsigned>(i), total}));
    if (text.find('?') != std::string::npos) result = 2;
  }
  return result;
}

std::string FlashIdText(const FlashRecord& flash) {
  return FormatText("Manufacture ID 0x%2.2X,  Device ID 0x%2.2X",
                    {flash.manufacturerId, flash.deviceId});
}

void SectorsToLines(const FlashRecord& flash, TStrings& lines) {
  for (size_t i = 0; i < flash.sectors.size(); ++i) {
    const FlashSector& s = flash.sectors[i];
    lines.Add(FormatText("%2.2d: 0x%8.8X, 0x%8.8X (%d)",
                         {static_cast<unsigned>(i), s.start, s.start + s.size - 1, s.size}));
  }
}

}  // namespace tessaro
