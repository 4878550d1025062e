#include "environment/release_date.h"

namespace {

// The decimal value of text[first..first+count), or -1 when a character is
// not a digit.
int Field(const std::string& text, size_t first, size_t count) {
  int value = 0;
  for (size_t i = first; i < first + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<uint16_t> PackDate(const std::string& text) {
  const int day = text.size() >= 10 ? Field(text, 0, 2) : -1;
  const int month = text.size() >= 10 ? Field(text, 3, 2) : -1;
  const int year = text.size() >= 10 ? Field(text, 6, 4) : -1;
  if (day < 1 || day > 31 || month < 1 || month > 12 || year < 2000 || year > 2063)
    return std::nullopt;
  return static_cast<uint16_t>(day + 32 * month + 512 * (year - 2000));
}

std::tm UnpackDate(uint16_t value) {
  std::tm when{};
  when.tm_year = ((value >> 9) & 63) + 2000 - 1900;
  when.tm_mon = ((value >> 5) & 15) - 1;
  when.tm_mday = value & 31;
  when.tm_hour = 12;
  when.tm_isdst = 0;  // standard time
  return when;
}
