// Kestor's INI value readers over any text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/ini_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)HexValue(text);
  const long integer = LeadingInteger(text);
  if (integer < INT32_MIN || integer > INT32_MAX) std::abort();
  (void)LeadingNumber(text);
  if (const auto release = ReleaseTimesTen(text); release && *release < 0) std::abort();
  if (UpperCase(text).size() != text.size()) std::abort();
  return 0;
}
