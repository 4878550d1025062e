// The registers this library names; requests for them are built with the
// driver classes' `usbdrv::RegisterRequest`.
#pragma once

#include <cstdint>

#include "lumetra/device_protocol.h"
#include "usbdrv/usbdrv.h"

namespace corvel {

using lm::FAC_PS_MODULES;
using lm::STATUS_REGISTER;

}  // namespace corvel
