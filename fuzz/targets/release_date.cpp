// The release dates: a packed date unpacks to the day, month and year of the
// text it was packed from.
#include "environment/release_date.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<uint16_t> packed = PackDate(text);
  if (!packed) return 0;
  const std::tm when = UnpackDate(*packed);
  const int day = std::atoi(text.substr(0, 2).c_str());
  const int month = std::atoi(text.substr(3, 2).c_str());
  const int year = std::atoi(text.substr(6, 4).c_str());
  if (when.tm_mday != day || when.tm_mon != month - 1 || when.tm_year != year - 1900) std::abort();
  return 0;
}
