// The pipe decoders: the first input byte picks the endpoint, the next two
// give the read length, the rest is the receive buffer, allocated to its
// exact size so that any read past it is caught. Every payload handed on lies
// inside the transfer.
#include "tessaro/pipe_items.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const uint8_t kEndpoints[] = {EP_DATA_IN, EP_DATA_IN_2, EP_EVENT_IN, EP_EVENT_IN_2};
  const uint8_t endpoint = kEndpoints[data[0] & 3];
  const uint32_t read = static_cast<uint32_t>(data[1] | data[2] << 8);
  const std::vector<uint8_t> buffer(data + 3, data + size);
  const bool bulk = endpoint == EP_DATA_IN || endpoint == EP_DATA_IN_2;
  const std::vector<PipeItem> items =
      bulk ? DecodeBulk(endpoint, buffer.data(), buffer.size(), read)
           : DecodeInterrupt(endpoint, buffer.data(), buffer.size(), read);
  const size_t held = read < buffer.size() ? read : buffer.size();
  for (const PipeItem& item : items) {
    if (item.kind != PipeItem::DataPacket && item.kind != PipeItem::DataMsg) continue;
    if (item.payload < buffer.data() || item.payload + item.length > buffer.data() + held)
      std::abort();
  }
  return 0;
}
