// How every transfer export starts: its entry line, the session check, the
// mutex gate and the session's device as it is after the gate.
#pragma once

#include "sessions.h"
#include "status.h"

namespace corvel {

// The trace lines of one export's start; a null line is not written.
struct StartLines {
  const char* entry;
  const char* gateTimeout;
  const char* gateFailure;
  const char* disconnected;
};

enum class Gate { Pass, None };

// LM_SUCCESS with `use` holding the session and its device for the whole
// transfer; else the session check's, the gate's or LM_ERROR_DEVICE_DISCONNECTED
// (the disconnected line only for a device that left after the check).
Status StartTransfer(const void* session, const StartLines& lines, SessionUse* use,
                     Gate gate = Gate::Pass);

}  // namespace corvel
