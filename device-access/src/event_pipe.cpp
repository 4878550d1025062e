#include "corvel/corvel.h"
#include "sessions.h"

namespace corvel {

// The event pipe is not read yet: a session starts with its device's queue
// as the device table holds it.
unsigned long ReadEventPipe(Session& session) {
  return session.queue && !session.queue->events.empty() ? LM_SUCCESS : LM_ERROR_QUEUE_EMPTY;
}

}  // namespace corvel
