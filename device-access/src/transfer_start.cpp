#include "transfer_start.h"

#include "corvel/corvel.h"
#include "library.h"
#include "mutex_gate.h"

namespace corvel {

Status StartTransfer(const void* session, const StartLines& lines, SessionUse* use, Gate gate) {
  TraceLog& log = TheLibrary().Log();
  if (lines.entry) log.Write(lines.entry);
  Status status = CheckSession(session);
  if (status != LM_SUCCESS) return status;
  if (gate == Gate::Pass) {
    status = PassMutexGate(lines.gateTimeout, lines.gateFailure);
    if (status != LM_SUCCESS) return status;
  }
  // Taken after the gate: a refresh that held the mutex has re-attached the
  // session by now, or found its device gone.
  status = UseSession(session, use);
  if (status == LM_ERROR_DEVICE_DISCONNECTED && lines.disconnected) log.Write(lines.disconnected);
  return status;
}

}  // namespace corvel
