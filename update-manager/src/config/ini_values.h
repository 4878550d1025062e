// How Kestor reads numbers out of INI texts. A malformed number never fails:
// it reads as 0 (integers) or 0.0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A 32-bit unsigned hexadecimal value: leading blanks, a sign (a minus gives
// the two's complement) and a "0x" prefix accepted; stops at the first other
// character; a value past 32 bits gives 0xFFFFFFFF. The same on every build.
uint32_t HexValue(const std::string& text);
// The leading decimal integer (leading blanks and a sign accepted), held to
// the 32-bit range on every build.
long LeadingInteger(const std::string& text);
// A serial number's leading decimal integer (leading blanks and a sign
// accepted), 64 bits wide so that ten-digit serial numbers keep their value.
int64_t LeadingSerial(const std::string& text);
// The leading decimal number ("1.25abc" gives 1.25), with "." as the decimal
// point whatever the user's locale.
double LeadingNumber(const std::string& text);
// Orders two firmware versions: negative when a is older than b, 0 when they
// are the same, positive when a is newer. A firmware version is the decimal
// of its two u16 words joined by "." ("1.24" for words 1 and 24), so "2.10"
// is newer than "2.9" and not the same as "2.1": both are compared as
// (major, minor) integer pairs, whatever the user's locale. When either text
// is no such pair (empty, one number, "2.1b"), both are compared by their
// LeadingNumber instead.
int CompareFirmwareVersions(const std::string& a, const std::string& b);
// A release as a power supply stores it, ten times its value: decimal
// digits with at most one decimal after a point ("1.3", "12"), blanks around
// them allowed, 0.0 to 3276.7. None for any other text: a sign, a second
// decimal ("1.38" would be stored as 1.3), a value past the 16-bit field.
std::optional<int16_t> ReleaseTimesTen(const std::string& text);
std::string UpperCase(std::string text);
