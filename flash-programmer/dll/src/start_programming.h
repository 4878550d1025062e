// The Programing export's work.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

// Done by the library's job; the form shows it when it exists.
bool StartProgramming(uint16_t vid, uint16_t pid, const std::string& fileName,
                      const std::string& serialNumber);

}  // namespace tessaro
