#include "tessaro_test/program_file_writer.h"

#include <algorithm>

namespace tessaro_test {
namespace {

uint16_t Crc16(const uint8_t* bytes, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
  }
  return crc;
}

class Out {
 public:
  Out(std::vector<FieldOffset>* fields) : fields_(fields) {}
  Out& Field(const std::string& name) {
    if (fields_) fields_->push_back({name, bytes.size()});
    return *this;
  }
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Text(const std::string& s) { ProgramFileWriter::AppendShortText(bytes, s); }
  void Raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }

  Bytes bytes;

 private:
  std::vector<FieldOffset>* fields_;
};

bool Holds(const Bytes& list, uint8_t code) {
  return std::find(list.begin(), list.end(), code) != list.end();
}

}  // namespace

void ProgramFileWriter::AppendShortText(Bytes& out, const std::string& text) {
  out.push_back(static_cast<uint8_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

Bytes ProgramFileWriter::Write(const ProgramFileSpec& spec, std::vector<FieldOffset>* fields) {
  Out o(fields);
  o.Field("header.mark").Text(spec.headerMark);
  o.Field("header.major").U8(spec.formatMajor);
  o.Field("header.minor").U8(spec.formatMinor);
  o.Field("header.vid").U16(spec.vid);
  o.Field("header.pid").U16(spec.pid);
  o.Field("header.commandCount").U16(static_cast<uint16_t>(spec.commands.size()));
  if (!spec.commands.empty()) o.Field("header.commands").Raw(spec.commands);
  o.Field("header.versionCount").U16(static_cast<uint16_t>(spec.versions.size()));
  for (size_t i = 0; i < spec.versions.size(); ++i)
    o.Field("header.version" + std::to_string(i)).U32(spec.versions[i]);
  o.Field("header.versionText").Text(spec.versionText);
  if (Holds(spec.commands, 33)) {
    o.Field("header.pathMark1").Text(spec.pathMark1.value_or("PathTR410BD"));
    o.Field("header.pathVersion1").U32(spec.pathVersion1);
  }
  if (Holds(spec.commands, 37)) {
    o.Field("header.pathMark2").Text(spec.pathMark2.value_or("PathTR410BDtest"));
    o.Field("header.pathVersion2").U32(spec.pathVersion2);
  }

  const FlashSpec& f = spec.flash;
  o.Field("flash.mark").Text(f.mark);
  o.Field("flash.name").Text(f.name);
  o.Field("flash.fields").U8(f.manufacturerId);
  o.U8(f.accessMode);
  o.U16(f.deviceId);
  o.U32(f.baseFlashAddress);
  o.U32(f.sectorAddress);
  o.U16(f.autoselectCommand1);
  o.U16(f.autoselectCommand2);
  for (int32_t t : {f.pollPeriod, f.chipEraseTimeout, f.sectorEraseTimeout, f.verifyTimeout,
                    f.programTimeout, f.autoselectTimeout})
    o.U32(static_cast<uint32_t>(t));
  o.Field("flash.sectorCount").U16(static_cast<uint16_t>(f.sectors.size()));
  if (!f.sectors.empty()) o.Field("flash.sectors");
  for (auto [start, size] : f.sectors) {
    o.U32(start);
    o.U32(size);
  }

  if (spec.withSelectedSectors) {
    o.Field("selected.mark").Text(spec.selectedSectorsMark);
    o.Field("selected.count").U16(static_cast<uint16_t>(spec.selectedSectors.size()));
    for (size_t i = 0; i < spec.selectedSectors.size(); ++i)
      o.Field("selected.index" + std::to_string(i)).U16(spec.selectedSectors[i]);
  }

  o.Field("blocks.mark").Text(spec.blocksMark);
  o.Field("blocks.count").U16(static_cast<uint16_t>(spec.blocks.size()));
  for (size_t i = 0; i < spec.blocks.size(); ++i) {
    std::string name = "blocks.block" + std::to_string(i);
    o.Field(name + ".address").U32(spec.blocks[i].address);
    o.Field(name + ".size").U16(static_cast<uint16_t>(spec.blocks[i].data.size()));
    if (!spec.blocks[i].data.empty()) o.Field(name + ".data").Raw(spec.blocks[i].data);
  }

  o.Field("crc");
  Bytes file = std::move(o.bytes);
  uint16_t crc = Crc16(file.data(), file.size());
  if (!spec.correctCrc) crc ^= 0x0101;
  file.push_back(static_cast<uint8_t>(crc >> 8));
  file.push_back(static_cast<uint8_t>(crc));
  return file;
}

Bytes ProgramFileWriter::CutWithCrc(const Bytes& file, size_t length) {
  Bytes cut(file.begin(),
            file.begin() + static_cast<std::ptrdiff_t>(std::min(length, file.size())));
  uint16_t crc = Crc16(cut.data(), cut.size());
  cut.push_back(static_cast<uint8_t>(crc >> 8));
  cut.push_back(static_cast<uint8_t>(crc));
  return cut;
}

void ProgramFileWriter::FixCrc(Bytes& file) {
  if (file.size() < 2) return;
  file.resize(file.size() - 2);
  file = CutWithCrc(file, file.size());
}

ProgramFileSpec LargeProgramFileSpec(size_t size) {
  ProgramFileSpec spec;
  constexpr uint32_t kSector = 0x10000;
  constexpr uint16_t kBlock = 4000;
  size_t blocks = size / (kBlock + 6);
  uint32_t span = static_cast<uint32_t>(blocks) * kBlock;
  spec.flash.sectors.clear();
  for (uint32_t start = 0; start < span + kSector; start += kSector)
    spec.flash.sectors.push_back({start, kSector});
  spec.blocks.clear();
  spec.blocks.reserve(blocks);
  for (size_t i = 0; i < blocks; ++i) {
    BlockSpec b;
    b.address = static_cast<uint32_t>(i) * kBlock;
    b.data.resize(kBlock);
    for (size_t j = 0; j < kBlock; ++j) b.data[j] = static_cast<uint8_t>(i * 31 + j * 7);
    spec.blocks.push_back(std::move(b));
  }
  return spec;
}

}  // namespace tessaro_test
