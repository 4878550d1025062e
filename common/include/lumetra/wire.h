// The suite's wire formats, once: little-endian fields, the power supply's
// SupplyBlock with its named offsets, the data-packet header and the text of
// a USB string descriptor. Plain C++ over bytes, free of Win32 types, shared
// by Tessaro, Corvel, Kestor and the stand-ins. (The bench keeps copies of
// its own on purpose: it is the oracle the code under test is checked against.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace le {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(U16(p)) | static_cast<uint32_t>(U16(p + 2)) << 16;
}
inline int16_t I16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
inline int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }
inline uint64_t U64(const uint8_t* p) {
  return static_cast<uint64_t>(U32(p)) | static_cast<uint64_t>(U32(p + 4)) << 32;
}
inline double F64(const uint8_t* p) {
  uint64_t bits = U64(p);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, static_cast<uint16_t>(v));
  PutU16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void PutI16(uint8_t* p, int16_t v) { PutU16(p, static_cast<uint16_t>(v)); }
inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, static_cast<uint32_t>(v));
  PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void PutF64(uint8_t* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutU64(p, bits);
}

}  // namespace le

namespace wire {

// Bulk data packet on endpoints 0x02 and 0x81: u16 PacketSize (payload + 4),
// u16 PacketId, then the payload.
constexpr size_t kDataPacketHeaderSize = 4;
constexpr size_t kDataPacketMaxPayload = 4092;

// The power supply's module table and release record (FacId 0x2200).
struct SupplyBlock {
  static constexpr size_t kSize = 758;
  static constexpr size_t kModuleCount = 8;
  static constexpr size_t kReleaseOffset = 298;           // i16 release x 10
  static constexpr size_t kReleaseDateOffset = 300;       // u16 packed date
  static constexpr size_t kBetaOffset = 302;              // i16 beta number
  static constexpr size_t kInstalledModulesOffset = 332;  // u8 x 8
  static constexpr size_t kModuleSerNoOffset = 382;       // u32 x 8
  static constexpr size_t kModulePartNoOffset = 414;      // f64 x 8
  static constexpr size_t kSupplyIdOffset = 560;          // u32
};

// A read-only view of a SupplyBlock; a block shorter than kSize is not valid
// and every field of it reads 0.
class SupplyBlockView {
 public:
  explicit SupplyBlockView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Valid() const { return bytes_.size() >= SupplyBlock::kSize; }

  uint8_t Installed(size_t module) const {
    return Valid() && module < SupplyBlock::kModuleCount
               ? bytes_[SupplyBlock::kInstalledModulesOffset + module]
               : 0;
  }
  uint32_t ModuleSerial(size_t module) const {
    return Valid() && module < SupplyBlock::kModuleCount
               ? le::U32(&bytes_[SupplyBlock::kModuleSerNoOffset + 4 * module])
               : 0;
  }
  double ModulePartNo(size_t module) const {
    return Valid() && module < SupplyBlock::kModuleCount
               ? le::F64(&bytes_[SupplyBlock::kModulePartNoOffset + 8 * module])
               : 0.0;
  }
  uint32_t SupplyId() const { return Valid() ? le::U32(&bytes_[SupplyBlock::kSupplyIdOffset]) : 0; }
  int16_t ReleaseTimesTen() const {
    return Valid() ? le::I16(&bytes_[SupplyBlock::kReleaseOffset]) : 0;
  }
  uint16_t PackedReleaseDate() const {
    return Valid() ? le::U16(&bytes_[SupplyBlock::kReleaseDateOffset]) : 0;
  }
  int16_t Beta() const { return Valid() ? le::I16(&bytes_[SupplyBlock::kBetaOffset]) : 0; }

 private:
  std::span<const uint8_t> bytes_;
};

// Writes the release record into a whole block; false for a short block.
inline bool PutSupplyRelease(std::span<uint8_t> block, int16_t releaseTimesTen, uint16_t packedDate,
                             int16_t beta) {
  if (block.size() < SupplyBlock::kSize) return false;
  le::PutI16(&block[SupplyBlock::kReleaseOffset], releaseTimesTen);
  le::PutU16(&block[SupplyBlock::kReleaseDateOffset], packedDate);
  le::PutI16(&block[SupplyBlock::kBetaOffset], beta);
  return true;
}

// The standard USB device descriptor, the fields the suite reads from it.
struct DeviceDescriptor {
  static constexpr size_t kSize = 18;
  static constexpr size_t kVendorIdOffset = 8;            // u16
  static constexpr size_t kProductIdOffset = 10;          // u16
  static constexpr size_t kManufacturerIndexOffset = 14;  // string index
  static constexpr size_t kProductIndexOffset = 15;       // string index
  static constexpr size_t kSerialIndexOffset = 16;        // string index
};

// A read-only view of a device descriptor; a shorter one is not valid and
// every field of it reads 0.
class DeviceDescriptorView {
 public:
  explicit DeviceDescriptorView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Valid() const { return bytes_.size() >= DeviceDescriptor::kSize; }

  uint16_t VendorId() const { return U16At(DeviceDescriptor::kVendorIdOffset); }
  uint16_t ProductId() const { return U16At(DeviceDescriptor::kProductIdOffset); }
  uint8_t ManufacturerIndex() const { return ByteAt(DeviceDescriptor::kManufacturerIndexOffset); }
  uint8_t ProductIndex() const { return ByteAt(DeviceDescriptor::kProductIndexOffset); }
  uint8_t SerialIndex() const { return ByteAt(DeviceDescriptor::kSerialIndexOffset); }

 private:
  uint16_t U16At(size_t offset) const { return Valid() ? le::U16(&bytes_[offset]) : 0; }
  uint8_t ByteAt(size_t offset) const { return Valid() ? bytes_[offset] : 0; }
  std::span<const uint8_t> bytes_;
};

// The UTF-16LE code units of a USB string descriptor as received: those after
// its 2-byte head (bLength, bDescriptorType), up to the bytes received (whole
// units only) and up to bLength. Fewer than 2 bytes give none.
inline std::u16string StringDescriptorUnits(std::span<const uint8_t> received) {
  if (received.size() < 2) return {};
  size_t length = received[0] < received.size() ? received[0] : received.size();
  std::u16string units;
  for (size_t i = 2; i + 1 < length; i += 2)
    units.push_back(static_cast<char16_t>(le::U16(&received[i])));
  return units;
}

// The text of a USB string descriptor (bDescriptorType 3) as one byte per
// code unit up to the first zero unit, '?' for a unit above 0xFF; a
// descriptor of another type gives "".
inline std::string StringDescriptorText(std::span<const uint8_t> descriptor) {
  if (descriptor.size() < 2 || descriptor[1] != 3) return {};
  std::string text;
  for (char16_t unit : StringDescriptorUnits(descriptor)) {
    if (unit == 0) break;
    text.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
  }
  return text;
}

}  // namespace wire
