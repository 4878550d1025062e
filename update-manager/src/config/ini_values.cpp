#include "config/ini_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>

long HexValue(const std::string& text) { return std::strtol(text.c_str(), nullptr, 16); }

namespace {

const char* NumberStart(const std::string& text) {
  const char* p = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+') ++p;
  return p;
}

}  // namespace

int64_t LeadingInteger(const std::string& text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(NumberStart(text), text.c_str() + text.size(), value);
  return error == std::errc() ? value : 0;
}

double LeadingNumber(const std::string& text) {
  double value = 0;
  auto [end, error] = std::from_chars(NumberStart(text), text.c_str() + text.size(), value);
  return error == std::errc() ? value : 0.0;
}

std::string Signed16Text(long value) {
  return std::to_string(static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)));
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}
