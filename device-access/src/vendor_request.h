// The control request on endpoint 0 that reads or writes one register of
// the device, and the registers this library names.
#pragma once

#include <cstdint>

#include "tessaro/usbdrv.h"

namespace corvel {

constexpr uint16_t STATUS_REGISTER = 0x0200;    // the 2-byte device status word
constexpr uint16_t FAC_PS_MODULES = 0x2200;     // a power supply's SupplyBlock
constexpr uint32_t kShortTransferOk = 0x10000;  // the device may answer fewer bytes
constexpr uint32_t kVendorRequestType = 2;
constexpr uint32_t kDeviceRecipient = 0;
constexpr uint8_t VENDOR_REQUEST = 0x35;

// A request for the register (the FacId) with the caller's index.
inline tessaro::VendorRequest InitVendorRequest(uint16_t facId, uint16_t index) {
  return {.Flags = kShortTransferOk,
          .RequestType = kVendorRequestType,
          .Recipient = kDeviceRecipient,
          .ReservedBits = 0,
          .Request = VENDOR_REQUEST,
          .Value = facId,
          .Index = index};
}

}  // namespace corvel
