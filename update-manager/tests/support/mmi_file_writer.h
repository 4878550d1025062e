// MMI update files for tests and the demo: the 1024-byte header (device,
// type, version, LmPath, text), then the payload.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kestortest {

// `payload` bytes counting 1, 2, ... (mod 251) after the header; the header's
// version field is the text's word after "Version ".
inline std::vector<uint8_t> MmiFileBytes(size_t payload, const std::string& device = "TR440",
                                         const std::string& type = "UPDATE",
                                         const std::string& lmPath = "\\flash\\front.bin",
                                         const std::string& text = "Front panel Version 2.10") {
  std::vector<uint8_t> f(1024 + payload, 0);
  std::copy_n(device.begin(), std::min<size_t>(device.size(), 5), f.begin());
  std::copy_n(type.begin(), std::min<size_t>(type.size(), 6), f.begin() + 5);
  const size_t at = text.find("Version ");
  std::string version = " " + (at == std::string::npos ? std::string() : text.substr(at + 8));
  version.resize(10, ' ');
  std::copy(version.begin(), version.end(), f.begin() + 11);
  std::copy(lmPath.begin(), lmPath.end(), f.begin() + 21);
  std::copy(text.begin(), text.end(), f.begin() + 256);
  for (size_t i = 0; i < payload; ++i) f[1024 + i] = static_cast<uint8_t>(1 + i % 251);
  return f;
}

}  // namespace kestortest
