// Puts Kestor's process-wide flags back to how a fresh process starts, so a
// test that opens the dialog does not inherit the last test's run.
#pragma once

#include "environment/log_writer.h"
#include "state/display_texts.h"
#include "state/shared_values.h"

inline void ResetProcessFlags() {
  ErrorTextIndex = 0;
  exitRequested = false;
  automaticUpdate = false;
  g_bExitThreadDone = false;
  updateInstalled = false;
  traceLevel = 0;
  stringTrace = false;
  DisplayTexts.Clear();
}
