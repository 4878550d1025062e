// The registers this library names; requests for them are built with the
// driver classes' `usbdrv::RegisterRequest`.
#pragma once

#include <cstdint>

#include "usbdrv/usbdrv.h"

namespace corvel {

constexpr uint16_t STATUS_REGISTER = 0x0200;  // the 2-byte device status word
constexpr uint16_t FAC_PS_MODULES = 0x2200;   // a power supply's SupplyBlock

}  // namespace corvel
