// The log text of a status word of the flash library (and of Kestor's own
// codes on the same channel).
#pragma once

#include <cstdint>
#include <string>

// Empty for a code without a text.
std::string StatusText(int16_t code);
