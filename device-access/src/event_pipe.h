// The device's interrupt pipe: its InterruptBuffers read into the device's
// event queue, and the wait for the acknowledgement of a control request.
#pragma once

#include <cstdint>

#include "sessions.h"
#include "status.h"

namespace corvel {

// An InterruptBuffer: u16 BufferSize (itself included), then 8-byte
// DeviceEvents {u16 EventId, u32 lParam, u16 wParam}.
constexpr uint32_t kEventBufferSize = 4090;
constexpr uint32_t kEventBufferMinimum = 2 + 8;  // one event
constexpr uint32_t kEventSize = 8;

// Queues the events of one received InterruptBuffer (plain bytes, nothing
// read from a device): LM_SUCCESS or LM_ERROR_QUEUE_EMPTY by what the queue
// holds afterwards, LM_ERROR_RAW_RD_PROT_VIOL for a BufferSize that does not
// fit, LM_ERROR_QUEUE_OVERFLOW once the queue holds its 511 events.
Status QueueEventBuffer(EventQueue& queue, const uint8_t* data, uint32_t received);

// One read of the session's event pipe into its device's queue, after the
// mutex gate and under the event-pipe lock; `queue`, when given, receives
// the queue read into (a refresh may have moved the session to another).
Status ReadEventPipe(const void* session, std::shared_ptr<EventQueue>* queue = nullptr);

// Waits for the event id with that lParam and wParam as the session's
// attributes 3, 8 and 101 say: 0 when it came (or is not waited for), else
// the failing read's status or LM_ERROR_TMO.
Status WaitForAcknowledge(const SessionUse& use, uint16_t id, uint32_t lParam, uint32_t wParam);

}  // namespace corvel
