// The type of Corvel's status codes inside the library: the DWORD corvel.h
// gives its status constants and LmGetErrorString takes. An export hands a
// status out as int, the same 32 bits.
#pragma once

#include "corvel/corvel.h"

namespace corvel {

using Status = DWORD;

}  // namespace corvel
