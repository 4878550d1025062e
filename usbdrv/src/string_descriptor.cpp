// A string descriptor's text in the ANSI code page, as the flash library and
// qlinkx show device texts.
#include <windows.h>

#include "lumetra/wire.h"
#include "usbdrv/usbdrv.h"

namespace usbdrv {

std::string StringDescriptorAnsi(const void* descriptor, uint32_t received) {
  if (!descriptor) return {};
  std::u16string units =
      wire::StringDescriptorUnits({static_cast<const uint8_t*>(descriptor), received});
  if (units.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  int size = static_cast<int>(units.size());
  int n = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide, size, text.data(), n, nullptr, nullptr);
  return text;
}

}  // namespace usbdrv
