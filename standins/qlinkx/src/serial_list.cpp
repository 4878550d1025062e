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

std::u16string StringDescriptorText(const uint8_t* descriptor, size_t received) {
  if (!descriptor || received < 2) return {};
  size_t length = descriptor[0] < received ? descriptor[0] : received;
  std::u16string text;
  for (size_t i = 2; i + 1 < length; i += 2) text += static_cast<char16_t>(le::U16(descriptor + i));
  return text;
}

}  // namespace qlinkx
