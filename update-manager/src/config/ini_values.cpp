#include "config/ini_values.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

long HexValue(const std::string& text) { return std::strtol(text.c_str(), nullptr, 16); }

long LeadingInteger(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

double LeadingNumber(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

std::string Signed16Text(long value) {
  return std::to_string(static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)));
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}
