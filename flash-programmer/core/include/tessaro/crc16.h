// CRC-16 of program files and flash data packets: polynomial 0x1021, initial
// value 0, no reflection, no final XOR. The CRC is stored high byte first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaro {

using Crc16Table = uint16_t[256];

// The library's table, built once.
const Crc16Table& LibraryCrc16Table();

// CRC over `length` bytes starting from `initial`; `table` null: the library's.
uint16_t Crc16(uint16_t initial, const uint8_t* bytes, size_t length,
               const Crc16Table* table = nullptr);

// True when the CRC over the whole buffer, its trailer included, is 0.
bool Crc16Check(const uint8_t* bytes, size_t length);

// CRC over all but the last two bytes, compared with those two bytes read as a
// little-endian u16. Both values are handed back in that form (the trailer as
// read, the computed CRC byte-swapped). A buffer shorter than 2 fails.
bool Crc16CheckTrailer(const uint8_t* bytes, size_t length, uint16_t* stored, uint16_t* computed);

// Writes the CRC of the first `length` bytes at bytes[length] (high byte) and
// bytes[length + 1] (low byte); the buffer must hold length + 2 bytes.
void Crc16Append(uint8_t* bytes, size_t length);

}  // namespace tessaro
