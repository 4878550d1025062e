// The device's events as the caller takes them: the oldest one, or all
// dropped.
#pragma once

#include <cstdint>

#include "status.h"

namespace corvel {

Status HandleEvent(const void* session, uint32_t* id, uint32_t* lParam, uint32_t* wParam);
Status FlushEventQueue(const void* session);

}  // namespace corvel
