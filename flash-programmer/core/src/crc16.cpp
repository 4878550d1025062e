#include "tessaro/crc16.h"

namespace tessaro {
namespace {

// Computed at compile time: a function-local static would need a guard, and
// the guard's lock outlives each load of the library.
struct Table {
  Crc16Table entries{};
  constexpr Table() {
    for (unsigned i = 0; i < 256; ++i) {
      unsigned crc = i << 8;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
      entries[i] = static_cast<uint16_t>(crc);
    }
  }
};

constexpr Table kTable;

}  // namespace

const Crc16Table& LibraryCrc16Table() { return kTable.entries; }

uint16_t Crc16(uint16_t initial, const uint8_t* bytes, size_t length, const Crc16Table* table) {
  const uint16_t* t = table ? *table : LibraryCrc16Table();
  uint16_t crc = initial;
  for (size_t i = 0; i < length; ++i)
    crc = static_cast<uint16_t>(t[(bytes[i] ^ (crc >> 8)) & 0xFF] ^ (crc << 8));
  return crc;
}

bool Crc16Check(const uint8_t* bytes, size_t length) { return Crc16(0, bytes, length) == 0; }

bool Crc16CheckTrailer(const uint8_t* bytes, size_t length, uint16_t* stored, uint16_t* computed) {
  if (length < 2) {
    if (stored) *stored = 0;
    if (computed) *computed = 0;
    return false;
  }
  uint16_t crc = Crc16(0, bytes, length - 2);
  uint16_t swapped = static_cast<uint16_t>((crc >> 8) | (crc << 8));
  uint16_t trailer = static_cast<uint16_t>(bytes[length - 2] | (bytes[length - 1] << 8));
  if (stored) *stored = trailer;
  if (computed) *computed = swapped;
  return swapped == trailer;
}

void Crc16Append(uint8_t* bytes, size_t length) {
  uint16_t crc = Crc16(0, bytes, length);
  bytes[length] = static_cast<uint8_t>(crc >> 8);
  bytes[length + 1] = static_cast<uint8_t>(crc);
}

}  // namespace tessaro
