// The library's general error: every failure inside the library raises it
// with a message text; the exports and the form catch it. The device model
// and the connection raise the same class, so one handler serves both.
#pragma once

#include "tessaro/device_error.h"

namespace tessaro {

using TessaroError = EDeviceError;

}  // namespace tessaro
