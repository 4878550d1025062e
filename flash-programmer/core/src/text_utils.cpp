#include "tessaro/text_utils.h"

#include "tessaro/format_text.h"

namespace tessaro {

std::string PadRight(const std::string& text, size_t length, char fill) {
  std::string out = text.substr(0, length);
  out.resize(length, fill);
  return out;
}

std::string DateTimeText(const LocalTime& t) {
  return FormatText("%2.2d.%2.2d.%2.2d %2.2d:%2.2d:%2.2d,%3.3d",
                    {t.day, t.month, t.year % 100, t.hour, t.minute, t.second, t.millisecond});
}

std::string RunTimeText(const LocalTime& t) {
  return FormatText("%4.4d.%2.2d.%2.2d. %2.2d:%2.2d:%2.2d:%3.3d",
                    {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
}

std::string TimeText(const LocalTime& t, const std::string& timeSeparator,
                     const std::string& decimalSeparator) {
  return FormatText("%2.2d%s%2.2d%s%2.2d%s%3.3d", {t.hour, timeSeparator, t.minute, timeSeparator,
                                                   t.second, decimalSeparator, t.millisecond});
}

std::string ElapsedText(uint32_t ms) {
  return FormatText("%2.2u:%2.2u:%2.2u,%3.3u",
                    {ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u, ms % 1000u});
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 3);
  for (size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
    out += ' ';
  }
  return out;
}

std::string CharBytes(const uint8_t* bytes, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i])
      out += static_cast<char>(bytes[i]);
    else
      out += "#0";
  }
  return out;
}

bool TextToInteger(const std::string& text, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  } else if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  }
  if (i >= text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    v = v * base + digit;
    if (v > 0xFFFFFFFFll) return false;
  }
  value = negative ? -v : v;
  return true;
}

void WindowsVersionText(const OsVersion& v, std::string& text) {
  std::string numbers =
      FormatText("%d.%d Build: %d %s", {v.major, v.minor, v.build, v.servicePack});
  switch (v.platform) {
    case 0:
      text = "Win 32s na Windows 3.1x";
      break;
    case 1:
      text = (v.minor == 0 ? "Microsoft Windows 95 Version: " : "Microsoft Windows 98 Version: ") +
             numbers + (v.minor == 0 ? " (Memphis)" : " (Chicago)");
      break;
    case 2: {
      const char* prefix = "Microsoft Windows NT Version: ";
      if (v.major == 3)
        prefix = "Microsoft Windows NT 3 Version: ";
      else if (v.major == 4)
        prefix = "Microsoft Windows NT 4 Version: ";
      else if (v.major == 5 && v.minor == 0)
        prefix = "Microsoft Windows 2000 Version: ";
      else if (v.major == 5 && v.minor == 1)
        prefix = "Microsoft Windows XP Version: ";
      text = prefix + numbers;
      break;
    }
    default:
      break;
  }
}

}  // namespace tessaro
