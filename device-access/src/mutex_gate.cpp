#include "mutex_gate.h"

#include "corvel/corvel.h"
#include "library.h"

namespace corvel {

DWORD AcquireLibraryMutex() {
  HANDLE mutex = TheLibrary().Mutex();
  if (!mutex) return WAIT_FAILED;
  // Only host threads hold the mutex, for host work (a refresh, the gate):
  // their time is the wall clock's whatever the bench's clock runs at, so
  // the wait is too. On a fast bench clock a scaled second is a millisecond,
  // and a refresh started by a device notice would block every transfer.
  DWORD wait = ::WaitForSingleObject(mutex, kMutexWaitMs);
  // An abandoned mutex is owned now all the same.
  if (wait == WAIT_ABANDONED) ReleaseMutex(mutex);
  return wait;
}

void ReleaseLibraryMutex() { ReleaseMutex(TheLibrary().Mutex()); }

Status PassMutexGate(const char* timeoutLine, const char* failureLine) {
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
