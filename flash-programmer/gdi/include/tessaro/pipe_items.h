// What one transfer on an IN endpoint holds, decoded into items: the bulk
// decoder (DataPackets on 0x81/0x85) and the interrupt decoder (event runs and
// DataMsg chains on 0x83, raw transfers on 0x87). Plain work over bytes, free
// of the clients: the connection dispatches the items to them afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lumetra/device_protocol.h"

namespace tessaro {

using lm::EP_DATA_IN;
using lm::EP_DATA_OUT;
using lm::EP_EVENT_IN;
using lm::EVENT_ACKNOWLEDGE;
using lm::MSG_DATA;
// The second data and event pipes, which only this library reads.
constexpr uint8_t EP_DATA_IN_2 = 0x85;
constexpr uint8_t EP_EVENT_IN_2 = 0x87;
constexpr uint32_t kPipeBufferSize = 4096;

// One client call: a text line, a DataPacket, a DataMsg or a device event.
// A payload points into the decoded buffer.
struct PipeItem {
  enum Kind : uint8_t { TextLine, DataPacket, DataMsg, DeviceEvent };
  Kind kind = TextLine;
  uint16_t id = 0;  // packet id or event id
  uint32_t lParam = 0;
  uint16_t wParam = 0;
  const uint8_t* payload = nullptr;
  uint16_t length = 0;
  std::string text;
};

// `buffer` is the receive buffer of `capacity` bytes and `read` the bytes of
// the last transfer (a larger `read` counts as `capacity`). The corruption
// reports of the bulk decoder show bytes of the buffer around the read length
// and the size; a byte outside the buffer shows as "---".
std::vector<PipeItem> DecodeBulk(uint8_t endpoint, const uint8_t* buffer, size_t capacity,
                                 uint32_t read);
std::vector<PipeItem> DecodeInterrupt(uint8_t endpoint, const uint8_t* buffer, size_t capacity,
                                      uint32_t read);

}  // namespace tessaro
