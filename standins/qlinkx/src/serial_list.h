// The texts qlinkx builds from what a device reports: the serial-number list
// that GetSerNrs hands back, and the text of a raw USB string descriptor.
// Plain C++ over bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qlinkx {

// Every serial number fills at least this many characters of the list.
constexpr size_t kSerialWidth = 10;

// The list GetSerNrs writes: for each device, in the driver's order, a ";"
// and its serial-number text, padded with blanks to kSerialWidth characters
// (a longer text is kept whole). Characters 1 to 10 are thus the first
// device's serial number. Only entries that fit whole into capacity - 1
// characters are listed (the caller's buffer holds the terminating zero).
std::string SerialListText(const std::vector<std::string>& serials, size_t capacity);

}  // namespace qlinkx
