#include "mutex_gate.h"

#include "corvel/corvel.h"
#include "hwport/clock.h"
#include "library.h"

namespace corvel {

DWORD AcquireLibraryMutex() {
  HANDLE mutex = TheLibrary().Mutex();
  if (!mutex) return WAIT_FAILED;
  DWORD wait = hwport::WaitForObject(mutex, kMutexWaitMs);
  // An abandoned mutex is owned now all the same.
  if (wait == WAIT_ABANDONED) ReleaseMutex(mutex);
  return wait;
}

void ReleaseLibraryMutex() { ReleaseMutex(TheLibrary().Mutex()); }

unsigned long PassMutexGate(const char* timeoutLine, const char* failureLine) {
  DWORD wait = AcquireLibraryMutex();
  if (wait == WAIT_OBJECT_0) {
    ReleaseLibraryMutex();
    return LM_SUCCESS;
  }
  const char* line = wait == WAIT_TIMEOUT ? timeoutLine : failureLine;
  if (line) TheLibrary().Log().Write(line);
  return wait == WAIT_TIMEOUT ? LM_ERROR_TMO : LM_ERROR_SYSTEM_ERROR;
}

}  // namespace corvel
