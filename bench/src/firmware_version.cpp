#include "firmware_version.h"

#include <algorithm>
#include <cstdio>

#include "usb_protocol.h"

namespace bench {

std::vector<uint8_t> FirmwareVersionRegister(BenchFile& file, const std::string& section,
                                             FlashModel& flash) {
  if (file.Has(section, "FirmwareVersionAt")) {
    const int64_t at = file.GetInt(section, "FirmwareVersionAt", -1);
    std::vector<uint8_t> stored;
    if (at >= 0 && at <= 0xFFFFFFFFll && flash.Read(static_cast<uint32_t>(at), 4, &stored) &&
        std::any_of(stored.begin(), stored.end(), [](uint8_t b) { return b != 0xFF; }))
      return stored;
  }
  unsigned major = 1, minor = 0;
  std::sscanf(file.Get(section, "Version", "1.0").c_str(), "%u.%u", &major, &minor);
  std::vector<uint8_t> data(4);
  PutU16(&data[0], static_cast<uint16_t>(major));
  PutU16(&data[2], static_cast<uint16_t>(minor));
  return data;
}

}  // namespace bench
