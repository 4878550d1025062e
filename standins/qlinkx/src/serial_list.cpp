#include "serial_list.h"

#include "lumetra/wire.h"

namespace qlinkx {

std::string SerialListText(const std::vector<std::string>& serials, size_t capacity) {
  std::string text;
  for (const std::string& serial : serials) {
    std::string entry = ";" + serial;
    if (serial.size() < kSerialWidth) entry.append(kSerialWidth - serial.size(), ' ');
    if (capacity == 0 || text.size() + entry.size() > capacity - 1) break;
    text += entry;
  }
  return text;
}

}  // namespace qlinkx
