// Small text routines of the logs: padding, byte dumps and the library's
// date and time forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro {

// A moment of local time, as the platform reports it.
struct LocalTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

std::string PadRight(const std::string& text, size_t length, char fill);
// "dd.mm.yy hh:nn:ss,zzz": the time stamp of every log line.
std::string DateTimeText(const LocalTime& t);
// "yyyy.mm.dd. hh:nn:ss:zzz": the time stamps of the command run.
std::string RunTimeText(const LocalTime& t);
// hours, minutes, seconds and milliseconds with the given separators.
std::string TimeText(const LocalTime& t, const std::string& timeSeparator,
                     const std::string& decimalSeparator);
// A span of milliseconds as "hh:nn:ss,zzz".
std::string ElapsedText(uint32_t milliseconds);
// Each byte as "%2.2x ".
std::string HexBytes(const uint8_t* bytes, size_t count);
// Each non-zero byte as its character, each zero byte as "#0".
std::string CharBytes(const uint8_t* bytes, size_t count);
// By value: callers pass literals, a reference would outlive them.
inline std::string ChooseText(bool flag, const std::string& ifTrue, const std::string& ifFalse) {
  return flag ? ifTrue : ifFalse;
}

// A whole text as a decimal, "0x" or "$" hexadecimal integer (at most 32
// bits); false when it is not one.
bool TextToInteger(const std::string& text, int64_t& value);

// The operating system's version record and the text the logs show for it.
struct OsVersion {
  uint32_t major = 0, minor = 0, build = 0, platform = 0;
  std::string servicePack;
};
// `text` is left as it was for an unknown platform.
void WindowsVersionText(const OsVersion& v, std::string& text);

}  // namespace tessaro
