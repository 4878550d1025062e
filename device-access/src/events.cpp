#include "events.h"

#include "corvel/corvel.h"
#include "event_pipe.h"

namespace corvel {
namespace {

// The session's queue as it is now (a refresh may have moved it); null for
// an unknown or disconnected session.
std::shared_ptr<EventQueue> QueueOf(const void* session) {
  SessionUse use;
  return UseSession(session, &use) == LM_SUCCESS ? use.queue : nullptr;
}

}  // namespace

Status HandleEvent(const void* session, uint32_t* id, uint32_t* lParam, uint32_t* wParam) {
  Status status = CheckSession(session);
  if (status != LM_SUCCESS) return status;
  status = ReadEventPipe(session);
  if (status == LM_ERROR_QUEUE_EMPTY) return status;
  std::shared_ptr<EventQueue> queue = QueueOf(session);
  if (!queue || queue->Size() == 0) return LM_ERROR_QUEUE_EMPTY;
  if (!id) return LM_ERROR_PARAMETER2;
  DeviceEvent event;
  if (!queue->TakeOldest(&event)) return LM_ERROR_QUEUE_EMPTY;
  *id = event.EventId;
  if (lParam) *lParam = event.lParam;
  if (wParam) *wParam = event.wParam;
  // The event has left the queue: a failure of this read (a silent pipe's
  // time-out) must not make the caller drop it. A read that met the queue at
  // its 511 events is said, though: what it brought beyond them is dropped,
  // and a caller waiting for one of those must know it will not come.
  return status == LM_ERROR_QUEUE_OVERFLOW ? status : LM_SUCCESS;
}

Status FlushEventQueue(const void* session) {
  Status status = CheckSession(session);
  if (status != LM_SUCCESS) return status;
  do {
    status = ReadEventPipe(session);
    if (std::shared_ptr<EventQueue> queue = QueueOf(session)) queue->Clear();
  } while (status == LM_SUCCESS);
  return LM_SUCCESS;
}

}  // namespace corvel
