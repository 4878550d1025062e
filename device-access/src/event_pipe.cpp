#include "event_pipe.h"

#include "bound_endpoint.h"
#include "corvel/corvel.h"
#include "hwport/clock.h"
#include "library.h"
#include "lumetra/wire.h"
#include "mutex_gate.h"

namespace corvel {
namespace {

Status QueueState(EventQueue& queue) {
  return queue.Size() > 0 ? LM_SUCCESS : LM_ERROR_QUEUE_EMPTY;
}

}  // namespace

Status QueueEventBuffer(EventQueue& queue, const uint8_t* data, uint32_t received) {
  if (received == 0) return QueueState(queue);
  uint32_t bufferSize = received >= 2 ? le::U16(data) : data[0];
  if (bufferSize > received || bufferSize > kEventBufferSize || bufferSize < kEventBufferMinimum)
    return LM_ERROR_RAW_RD_PROT_VIOL;
  if (queue.Size() >= EventQueue::kCapacity) return LM_ERROR_QUEUE_OVERFLOW;
  // Whole events only; the rest of a ragged buffer is left.
  for (uint32_t at = 2; at + kEventSize <= bufferSize; at += kEventSize) {
    queue.QueueEvent({.EventId = le::U16(data + at),
                      .lParam = le::U32(data + at + 2),
                      .wParam = le::U16(data + at + 6)});
    if (queue.Size() >= EventQueue::kCapacity) return LM_ERROR_QUEUE_OVERFLOW;
  }
  return QueueState(queue);
}

Status ReadEventPipe(const void* handle, std::shared_ptr<EventQueue>* queue) {
  Status status = PassMutexGate();
  if (status != LM_SUCCESS) return status;
  lm::Lock pipe(TheLibrary().EventPipeLock());
  SessionUse use;
  status = UseSession(handle, &use);
  if (status != LM_SUCCESS) return status;
  if (queue) *queue = use.queue;
  uint8_t data[kEventBufferSize] = {};
  uint32_t received = sizeof data;
  usbdrv::Status driverStatus;
  {
    BoundEndpoint endpoint(*use.device, EP_EVENT_IN);
    driverStatus = endpoint.Status();
    if (driverStatus == 0) driverStatus = use.device->TransferIn(data, &received, use->timeout);
  }
  if (driverStatus != 0)
    return driverStatus == USBDRV_ERR_TIMEOUT ? LM_ERROR_TMO : LM_ERROR_SYSTEM_ERROR;
  return QueueEventBuffer(*use.queue, data, received);
}

Status WaitForAcknowledge(const SessionUse& use, uint16_t id, uint32_t lParam, uint32_t wParam) {
  if (use->skipAcknowledge != 0) return LM_SUCCESS;
  DWORD start = hwport::TickCount();
  do {
    std::shared_ptr<EventQueue> queue;
    Status status = ReadEventPipe(use.session.get(), &queue);
    if (status != LM_SUCCESS && status != LM_ERROR_QUEUE_EMPTY) return status;
    // Without the wait, one read of the pipe is all.
    if (use->waitAcknowledge == 0 && id == use->acknowledgeId) return LM_SUCCESS;
    if (queue->TakeMatchingEvent(id, lParam, wParam)) return LM_SUCCESS;
  } while (hwport::TickCount() - start < use->timeout);
  return LM_ERROR_TMO;
}

}  // namespace corvel
