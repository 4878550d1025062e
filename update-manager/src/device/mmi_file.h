// The front panel's (MMI's) update files and the 2048-byte packets that carry
// every request to it through the power supply. Plain C++ over bytes: the
// header parser and the packet builders know nothing of files or devices.
//
// An MMI update file is a 1024-byte header, then the payload:
//   0 Device (5 bytes), 5 Type (6, "UPDATE"), 11 Version (10, blanks
//   trimmed), 21 LmPath (235, the file's place on the device), 256
//   HeaderText (768, passed on unchanged), 1024 payload.
// A packet: u16 length (meaningful bytes), u32 packetNumber, u16 command,
// then the payload; always 2048 bytes, bytes not written are 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mmi {

constexpr size_t kPacketSize = 2048;
constexpr size_t kPacketHeadSize = 8;
constexpr size_t kFileHeaderSize = 1024;
constexpr size_t kDataPayloadSize = 2038;  // file bytes per data packet
constexpr size_t kDeviceFieldSize = 5;
constexpr size_t kTypeFieldSize = 6;
constexpr size_t kVersionFieldSize = 10;
constexpr size_t kLmPathFieldSize = 235;
constexpr size_t kHeaderTextFieldSize = 768;
constexpr size_t kLmPathOffset = 21;
constexpr size_t kHeaderTextOffset = 256;

constexpr uint16_t MMI_CMD_DATA = 0x4020;
constexpr uint16_t MMI_CMD_UPDATE = 0x4021;
constexpr uint16_t MMI_CMD_DATA_END = 0x4022;
constexpr uint16_t MMI_CMD_EXECUTE = 0x4024;
constexpr uint16_t MMI_CMD_QUERY = 0x4041;
constexpr uint16_t MMI_CMD_STOP = 0x4050;

// The header of an MMI update file as read from its first 1024 bytes.
struct FileHeader {
  std::string device;   // up to the first zero byte
  std::string type;     // up to the first zero byte
  std::string version;  // up to the first zero byte, blanks trimmed
  std::string lmPath;
  std::string headerText;
  // The two fields as they stand in the file, zero bytes included: the
  // header packet carries them so.
  std::vector<uint8_t> lmPathField;
  std::vector<uint8_t> headerTextField;
};

// The header of a file that begins with `bytes`; nothing when fewer than
// 1024 bytes are there.
std::optional<FileHeader> ParseFileHeader(std::span<const uint8_t> bytes);

// Flags from the file's name (its last path component, extension included):
// bflag when the 5th character is b or B, rflag when the 6th is r, R, t or T
// (such a file is executed after it was sent). A shorter name sets neither.
struct NameFlags {
  bool bflag = false;
  bool rflag = false;
};
NameFlags FlagsOfName(const std::string& path);

// Data packets for a file of `size` bytes (size >= 1024): one more than the
// whole packets of the payload, the last carrying the remainder (maybe 0).
struct PacketCount {
  int32_t packets = 0;
  int32_t endpacket = 0;
};
PacketCount CountPackets(uint64_t size);

// The packets, each kPacketSize bytes.
std::vector<uint8_t> HeaderPacket(const FileHeader& header, uint64_t size, int32_t packets);
// Data packet n (1..packets) with the payload bytes it carries (at most
// kDataPayloadSize; fewer are padded with zeros).
std::vector<uint8_t> DataPacket(int32_t n, int32_t packets, int32_t endpacket,
                                std::span<const uint8_t> payload);
std::vector<uint8_t> QueryPacket();
std::vector<uint8_t> StopPacket();
std::vector<uint8_t> ExecutePacket(const std::string& path);

// The reply that ends an execute: more than 200 bytes delivered, its first
// word the length delivered, and a record of 8 bytes from offset 6 on whose
// first byte is 0xC4 ("Execute ready").
bool IsExecuteReady(std::span<const uint8_t> buffer, int32_t delivered);
// The panel's ready buffer itself, 0xC4 in its first record (offset 6): a
// revision report may hold that byte further on, and is none.
bool IsReadyBuffer(std::span<const uint8_t> buffer, int32_t delivered);

}  // namespace mmi

// Results of the MMI operations.
constexpr int32_t MMI_STOP_REFUSED = -5004;
constexpr int32_t MMI_FILE_UNREADABLE = -5010;  // missing, unreadable or shorter than its header
constexpr int32_t MMI_WRONG_TYPE = -5011;
constexpr int32_t MMI_WRONG_DEVICE = -5012;
constexpr int32_t MMI_CANCELLED = -5020;
// The files are in and the supply was rebooted; a cancel ended the wait for it.
constexpr int32_t MMI_CANCELLED_RESTARTING = -5023;
constexpr int32_t MMI_NO_UPDATE_MODE = -5021;
constexpr int32_t MMI_NOT_READY = -5022;  // an execute never reported ready
constexpr int32_t MMI_NOT_TAKEN = -5050;
constexpr int32_t MMI_NO_SUPPLY = -5051;

// One MMI update file, filled by UpdateMmiFile; the caller sets Filename.
struct MmiFileRecord {
  std::string Filename;
  uint64_t Size = 0;
  bool bflag = false;
  bool rflag = false;
  int32_t Packets = 0;
  int32_t Endpacket = 0;
  std::string LmPath;
  std::string Device;
  std::string Type;
  std::string Version;
  std::string HeaderText;
};
