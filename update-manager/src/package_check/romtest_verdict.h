// romtest's verdict: its standard output begins with a decimal number, and any
// number other than 0 accepts the package.
#pragma once

#include <string_view>

namespace kestor {

// True when `output`, read as a decimal number (leading blanks skipped, the
// leading numeric part taken, nothing numeric giving 0), is not 0.
bool RomtestAccepts(std::string_view output);

}  // namespace kestor
