// Text formatting as the library's messages are written: "%d", "%u", "%x",
// "%X", "%s", "%f" (two decimals unless a precision is given), "%%", width and
// precision ("%8.8X"), a left-justify flag ("%-10s"), and an argument index
// ("%0:8.8X", later specifiers go on from that index).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace tessaro {

// One argument of a format; integers keep their sign.
class FormatArg {
 public:
  FormatArg(int v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(long v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(long long v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(unsigned v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(unsigned long long v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(unsigned short v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(short v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(unsigned char v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(bool v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(double v) : value_(v) {}
  FormatArg(const char* v) : value_(std::string(v ? v : "")) {}
  FormatArg(const std::string& v) : value_(v) {}

  const std::variant<int64_t, uint64_t, double, std::string>& Value() const { return value_; }

 private:
  std::variant<int64_t, uint64_t, double, std::string> value_;
};

// Formats `format` with `args`. A specifier without an argument, or with one
// of the wrong kind, is written as the text "<?>" instead of failing.
std::string FormatText(const std::string& format, std::initializer_list<FormatArg> args = {});

}  // namespace tessaro
