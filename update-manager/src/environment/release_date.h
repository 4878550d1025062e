// The release date as a device stores it: 16 bits, bits 0-4 day, 5-8 month,
// 9-14 year - 2000.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

// Packs a date written "dd.mm.yyyy" (the separators are not looked at).
// A text that is not such a date (short, non-digits in a field, day outside
// 1..31, month outside 1..12, year outside 2000..2063) gives nothing: the
// package reader refuses it, so nothing malformed reaches a device.
std::optional<uint16_t> PackDate(const std::string& text);

// The point in time of a packed date: that day at 12:00:00 local standard time.
std::tm UnpackDate(uint16_t value);
