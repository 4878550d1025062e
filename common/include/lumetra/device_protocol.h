// The instrument protocol's facts, once for every deliverable: the vendor and
// the power supplies' product ids, the FacIds of the registers more than one
// program names, the endpoints and the event ids. Plain C++, free of Win32.
// (The bench keeps its own copies on purpose: it is the oracle the code under
// test is checked against.)
#pragma once

#include <cstdint>

namespace lm {

constexpr uint16_t kVandrelVendorId = 0x0E7B;

// A power supply carries the instruments; the older one answers with 9.
constexpr uint16_t kPowerSupplyProductId = 16;
constexpr uint16_t kOldPowerSupplyProductId = 9;
constexpr bool IsPowerSupply(uint32_t productId) {
  return productId == kPowerSupplyProductId || productId == kOldPowerSupplyProductId;
}

// FacIds: the wValue of a vendor request.
constexpr uint16_t STATUS_REGISTER = 0x0200;       // the 2-byte device status word
constexpr uint16_t CMD_GET_FLASH_STATUS = 0x0300;  // the first of the flash commands
constexpr uint16_t FAC_PS_MODULES = 0x2200;        // a power supply's SupplyBlock

// Endpoints: data packets out and in, device events in.
constexpr uint8_t EP_DATA_OUT = 0x02;
constexpr uint8_t EP_DATA_IN = 0x81;
constexpr uint8_t EP_EVENT_IN = 0x83;

// Event ids of the interrupt pipe.
constexpr uint16_t EVENT_ACKNOWLEDGE = 0x67FF;  // wParam names the finished request's FacId
constexpr uint16_t MSG_DATA = 0x6F00;           // the buffer holds chained DataMsgs

}  // namespace lm
