// The firmware version a bench device reports (FacId 0x1010): the one its
// firmware image carries, once one is in its flash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench_file.h"
#include "flash_model.h"

namespace bench {

// The four bytes of the version register: u16 major, u16 minor. With
// FirmwareVersionAt set and the four bytes at that flash address programmed,
// they are those bytes (the image's own version, little-endian words); while
// they are erased, or without the key, the Version key's "major.minor" (1.0).
std::vector<uint8_t> FirmwareVersionRegister(BenchFile& file, const std::string& section,
                                             FlashModel& flash);

}  // namespace bench
