// The flash memory of a bench device, read back for tests: its contents as
// the device holds them now and the CRC-16 the bench keeps of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace benchctl {

// The contents of the flash of the device in `slot`; empty when nothing was
// written to it yet (the flash is then erased).
std::vector<uint8_t> ReadFlash(const std::string& benchFile, int slot);

// "XXXX": the CRC-16 of the contents after the last change; empty before one.
std::string FlashDigest(const std::string& benchFile, int slot);

}  // namespace benchctl
