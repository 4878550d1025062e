// The device's events as the caller takes them: the oldest one, or all
// dropped.
#pragma once

#include <cstdint>

#include "status.h"

namespace corvel {

// Takes the oldest event after one read of the pipe: LM_SUCCESS, or
// LM_ERROR_QUEUE_OVERFLOW when that read met the queue at its 511 events
// (what it brought beyond them is dropped); either way the event is
// delivered (DeliversEvent).
Status HandleEvent(const void* session, uint32_t* id, uint32_t* lParam, uint32_t* wParam);
inline bool DeliversEvent(Status status) {
  return status == LM_SUCCESS || status == LM_ERROR_QUEUE_OVERFLOW;
}
Status FlushEventQueue(const void* session);

}  // namespace corvel
