#include "config/ini_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* NumberStart(const std::string& text) {
  const char* p = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+') ++p;
  return p;
}

// A firmware version's two words: decimal digits, ".", decimal digits, blanks
// around the whole allowed. False for any other text.
bool VersionWords(const std::string& text, uint32_t* major, uint32_t* minor) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end && IsBlank(*p)) ++p;
  while (end > p && IsBlank(end[-1])) --end;
  // from_chars takes neither a sign nor blanks: only the digits themselves.
  auto [dot, e1] = std::from_chars(p, end, *major);
  if (e1 != std::errc() || dot == end || *dot != '.') return false;
  auto [last, e2] = std::from_chars(dot + 1, end, *minor);
  return e2 == std::errc() && last == end;
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

}  // namespace

// Read by hand rather than with strtol/strtoul: `long` is 32 bits on the
// shipped build and 64 natively, and the value must not depend on that.
uint32_t HexValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // "0x" counts as a prefix only when a digit follows; "0xg" reads as 0.
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      HexDigit(text[i + 2]) >= 0)
    i += 2;
  uint64_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
    value = value * 16 + static_cast<uint64_t>(HexDigit(text[i]));
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;  // out of range: the largest value
  }
  const uint32_t magnitude = static_cast<uint32_t>(value);
  return negative ? 0u - magnitude : magnitude;
}

long LeadingInteger(const std::string& text) {
  // strtoll is 64 bits on both builds; the result is kept in 32 bits.
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<long>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}
int64_t LeadingSerial(const std::string& text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(NumberStart(text), text.c_str() + text.size(), value);
  return error == std::errc() ? value : 0;
}

double LeadingNumber(const std::string& text) {
  double value = 0;
  auto [end, error] = std::from_chars(NumberStart(text), text.c_str() + text.size(), value);
  return error == std::errc() ? value : 0.0;
}

int CompareFirmwareVersions(const std::string& a, const std::string& b) {
  uint32_t majorA = 0, minorA = 0, majorB = 0, minorB = 0;
  if (VersionWords(a, &majorA, &minorA) && VersionWords(b, &majorB, &minorB)) {
    if (int major = Order(majorA, majorB)) return major;
    return Order(minorA, minorB);
  }
  return Order(LeadingNumber(a), LeadingNumber(b));
}

std::optional<int16_t> ReleaseTimesTen(const std::string& text) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end && IsBlank(*p)) ++p;
  while (end > p && IsBlank(end[-1])) --end;
  auto digit = [&] { return p < end && *p >= '0' && *p <= '9'; };
  if (!digit()) return std::nullopt;
  int32_t tenths = 0;
  for (; digit(); ++p) {
    tenths = tenths * 10 + (*p - '0');
    if (tenths > INT16_MAX) return std::nullopt;
  }
  tenths *= 10;
  if (p < end && *p == '.') {
    ++p;
    if (!digit()) return std::nullopt;
    tenths += *p++ - '0';
  }
  if (p != end || tenths > INT16_MAX) return std::nullopt;
  return static_cast<int16_t>(tenths);
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}
