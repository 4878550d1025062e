// The system-wide mutex "CorvelDll": a device-table refresh holds it, and
// every transfer passes it as a gate, so no transfer starts while any
// process that uses the library refreshes its table.
#pragma once

#include <windows.h>

#include "status.h"

namespace corvel {

constexpr DWORD kMutexWaitMs = 1000;

// Waits up to kMutexWaitMs: WAIT_OBJECT_0 when the mutex is held now,
// WAIT_TIMEOUT, or another result for a failure (an abandoned mutex is let
// go again; without a mutex nothing is waited for).
DWORD AcquireLibraryMutex();
void ReleaseLibraryMutex();

// The gate: waits as AcquireLibraryMutex and lets the mutex go at once.
// LM_SUCCESS, LM_ERROR_TMO or LM_ERROR_SYSTEM_ERROR; the trace lines, when
// given, are written for a time-out and for any other failure.
Status PassMutexGate(const char* timeoutLine = nullptr, const char* failureLine = nullptr);

}  // namespace corvel
