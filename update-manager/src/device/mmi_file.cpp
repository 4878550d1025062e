#include "device/mmi_file.h"

#include <algorithm>

#include "lumetra/wire.h"

namespace mmi {
namespace {

// A fixed-size text field up to its first zero byte.
std::string FieldText(std::span<const uint8_t> field) {
  auto end = std::find(field.begin(), field.end(), uint8_t{0});
  return std::string(field.begin(), end);
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::vector<uint8_t> Packet(uint16_t length, uint32_t number, uint16_t command) {
  std::vector<uint8_t> p(kPacketSize, 0);
  le::PutU16(&p[0], length);
  le::PutU32(&p[2], number);
  le::PutU16(&p[6], command);
  return p;
}

}  // namespace

std::optional<FileHeader> ParseFileHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kFileHeaderSize) return std::nullopt;
  FileHeader h;
  h.device = FieldText(bytes.subspan(0, kDeviceFieldSize));
  h.type = FieldText(bytes.subspan(kDeviceFieldSize, kTypeFieldSize));
  h.version =
      Trimmed(FieldText(bytes.subspan(kDeviceFieldSize + kTypeFieldSize, kVersionFieldSize)));
  std::span<const uint8_t> path = bytes.subspan(kLmPathOffset, kLmPathFieldSize);
  std::span<const uint8_t> text = bytes.subspan(kHeaderTextOffset, kHeaderTextFieldSize);
  h.lmPath = FieldText(path);
  h.headerText = FieldText(text);
  h.lmPathField.assign(path.begin(), path.end());
  h.headerTextField.assign(text.begin(), text.end());
  return h;
}

NameFlags FlagsOfName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  NameFlags f;
  if (name.size() >= 5) f.bflag = name[4] == 'b' || name[4] == 'B';
  if (name.size() >= 6) {
    char c = name[5];
    f.rflag = c == 'r' || c == 'R' || c == 't' || c == 'T';
  }
  return f;
}

PacketCount CountPackets(uint64_t size) {
  uint64_t payload = size >= kFileHeaderSize ? size - kFileHeaderSize : 0;
  return {static_cast<int32_t>(payload / kDataPayloadSize + 1),
          static_cast<int32_t>(payload % kDataPayloadSize)};
}

std::vector<uint8_t> HeaderPacket(const FileHeader& header, uint64_t size, int32_t packets) {
  // The head, the payload size and count, the path field with a terminator,
  // then the header text field: 252 bytes before the text.
  constexpr size_t kTextAt = 16 + kLmPathFieldSize + 1;
  std::vector<uint8_t> p =
      Packet(static_cast<uint16_t>(kTextAt + header.headerText.size()), 0, MMI_CMD_UPDATE);
  uint64_t payload = size >= kFileHeaderSize ? size - kFileHeaderSize : 0;
  le::PutU32(&p[8], static_cast<uint32_t>(payload));
  le::PutU32(&p[12], static_cast<uint32_t>(packets));
  std::copy_n(header.lmPathField.begin(), std::min(header.lmPathField.size(), kLmPathFieldSize),
              p.begin() + 16);
  std::copy_n(header.headerTextField.begin(),
              std::min(header.headerTextField.size(), kHeaderTextFieldSize), p.begin() + kTextAt);
  return p;
}

std::vector<uint8_t> DataPacket(int32_t n, int32_t packets, int32_t endpacket,
                                std::span<const uint8_t> payload) {
  const bool last = n == packets;
  const uint16_t length = last ? static_cast<uint16_t>(endpacket + kPacketHeadSize)
                               : static_cast<uint16_t>(kPacketHeadSize + kDataPayloadSize);
  std::vector<uint8_t> p =
      Packet(length, static_cast<uint32_t>(n), last ? MMI_CMD_DATA_END : MMI_CMD_DATA);
  std::copy_n(payload.begin(), std::min(payload.size(), kDataPayloadSize),
              p.begin() + kPacketHeadSize);
  return p;
}

std::vector<uint8_t> QueryPacket() {
  return Packet(static_cast<uint16_t>(kPacketHeadSize), 0, MMI_CMD_QUERY);
}

std::vector<uint8_t> StopPacket() {
  // A counting pattern of 1019 words, then two zero bytes.
  std::vector<uint8_t> p = Packet(static_cast<uint16_t>(kPacketHeadSize), 0, MMI_CMD_STOP);
  for (uint16_t i = 0; i < 1019; ++i) le::PutU16(&p[kPacketHeadSize + 2 * i], i);
  return p;
}

std::vector<uint8_t> ExecutePacket(const std::string& path) {
  size_t n = std::min(path.size(), kPacketSize - kPacketHeadSize);
  std::vector<uint8_t> p = Packet(static_cast<uint16_t>(n + kPacketHeadSize), 0, MMI_CMD_EXECUTE);
  std::copy_n(path.begin(), n, p.begin() + kPacketHeadSize);
  return p;
}

namespace {

// An execute's reply with "Execute ready" in one of its first `records`
// 8-byte records from offset 6 on.
bool ReadyInRecords(std::span<const uint8_t> buffer, int32_t delivered, size_t records) {
  constexpr uint8_t kExecuteReady = 0xC4;
  if (delivered <= 200 || static_cast<size_t>(delivered) > buffer.size()) return false;
  if (le::I16(buffer.data()) != delivered) return false;
  size_t at = 6;
  for (size_t r = 0; r < records && at + 8 <= static_cast<size_t>(delivered); ++r, at += 8)
    if (buffer[at] == kExecuteReady) return true;
  return false;
}

}  // namespace

bool IsExecuteReady(std::span<const uint8_t> buffer, int32_t delivered) {
  return ReadyInRecords(buffer, delivered, buffer.size());
}

bool IsReadyBuffer(std::span<const uint8_t> buffer, int32_t delivered) {
  return ReadyInRecords(buffer, delivered, 1);
}

}  // namespace mmi
