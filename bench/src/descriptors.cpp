#include "descriptors.h"

namespace bench {
namespace {

void Add16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

}  // namespace

std::vector<uint8_t> MakeDeviceDescriptor(const DescriptorSpec& spec) {
  std::vector<uint8_t> d = {18, 1};
  Add16(d, spec.highSpeed ? 0x0200 : 0x0110);
  d.insert(d.end(), {0, 0, 0, 64});
  Add16(d, spec.vendorId);
  Add16(d, spec.productId);
  Add16(d, spec.bcdDevice);
  d.insert(d.end(), {1, 2, static_cast<uint8_t>(spec.hasSerial ? 3 : 0), 1});
  return d;
}

std::vector<uint8_t> MakeConfigDescriptor(const DescriptorSpec& spec) {
  std::vector<uint8_t> d = {9, 2, 0, 0, 4, 1, 0, 0xC0, 50};
  for (uint8_t iface = 0; iface < 4; ++iface)
    for (uint8_t alt = 0; alt < 2; ++alt) {
      uint8_t count = iface == 0 ? static_cast<uint8_t>(spec.endpoints.size()) : 0;
      d.insert(d.end(), {9, 4, iface, alt, count, 0xFF, 0, 0, 0});
      if (iface != 0) continue;
      for (uint8_t ep : spec.endpoints) {
        bool interrupt = ep == 0x83 || ep == 0x87;
        uint16_t maxPacket = interrupt ? 64 : (spec.highSpeed ? 512 : 64);
        d.insert(d.end(), {7, 5, ep, static_cast<uint8_t>(interrupt ? 3 : 2)});
        Add16(d, maxPacket);
        d.push_back(interrupt ? 1 : 0);
      }
    }
  d[2] = static_cast<uint8_t>(d.size());
  d[3] = static_cast<uint8_t>(d.size() >> 8);
  return d;
}

std::vector<uint8_t> MakeStringDescriptor(const std::string& text) {
  std::vector<uint8_t> d = {0, 3};
  for (unsigned char c : text) Add16(d, c);  // the bench's texts are plain ASCII/Latin-1
  d[0] = static_cast<uint8_t>(d.size() > 255 ? 255 : d.size());
  return d;
}

std::vector<uint8_t> LanguageDescriptor() { return {4, 3, 0x09, 0x04}; }

bool ConfigLayout::HasAlternate(uint16_t iface, uint16_t alt) const {
  for (auto& a : alternates)
    if (a.first == iface && a.second == alt) return true;
  return false;
}

bool ConfigLayout::HasInterface(uint16_t iface) const {
  for (auto& a : alternates)
    if (a.first == iface) return true;
  return false;
}

bool ConfigLayout::HasEndpoint(uint8_t address) const {
  for (uint8_t e : endpoints)
    if (e == address) return true;
  return false;
}

ConfigLayout ParseConfig(const std::vector<uint8_t>& config) {
  ConfigLayout layout;
  size_t pos = 0;
  bool inInterface = false;
  while (pos + 2 <= config.size()) {
    uint8_t len = config[pos];
    uint8_t type = config[pos + 1];
    if (len == 0) {
      ++pos;
      continue;
    }
    if (pos + len > config.size()) break;
    if (type == 4 && len >= 4) {
      layout.alternates.emplace_back(config[pos + 2], config[pos + 3]);
      inInterface = true;
    } else if (type == 5 && len >= 3 && inInterface) {
      if (!layout.HasEndpoint(config[pos + 2])) layout.endpoints.push_back(config[pos + 2]);
    }
    pos += len;
  }
  return layout;
}

}  // namespace bench
