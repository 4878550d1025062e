// USB descriptors of a bench device, generated from its description or given
// raw (for malformed cases). Plain byte work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct DescriptorSpec {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t bcdDevice = 0x0100;
  bool hasSerial = true;
  bool highSpeed = false;
  std::vector<uint8_t> endpoints;  // addresses on interface 0
};

std::vector<uint8_t> MakeDeviceDescriptor(const DescriptorSpec& spec);
// One configuration: interfaces 0..3, each with alternates 0 and 1; the
// endpoints sit on interface 0 (both alternates).
std::vector<uint8_t> MakeConfigDescriptor(const DescriptorSpec& spec);
// String descriptor of a text (UTF-16LE after the 2-byte head).
std::vector<uint8_t> MakeStringDescriptor(const std::string& text);
std::vector<uint8_t> LanguageDescriptor();

// What a configuration descriptor offers: (interface, alternate) pairs and
// endpoint addresses. The walk is bounded by the bytes and by the length bytes.
struct ConfigLayout {
  std::vector<std::pair<uint8_t, uint8_t>> alternates;
  std::vector<uint8_t> endpoints;
  bool HasAlternate(uint16_t iface, uint16_t alt) const;
  bool HasInterface(uint16_t iface) const;
  bool HasEndpoint(uint8_t address) const;
};
ConfigLayout ParseConfig(const std::vector<uint8_t>& config);

}  // namespace bench
