// Kestor's own step codes on the flash library's status channel: what the
// step progress message carries in its lParam besides the program commands'
// codes (0..52), with the trace log's text and the default text under the
// step bar of each.
#pragma once

#include <windows.h>

// X(code, identifier, trace text, step text); nullptr: the code has no text
// of its own (the trace shows the command table's, the bar its blank entry).
#define KESTOR_STEP_CODES(X)                                                                  \
  X(100, kStepSendingMmiFile, "Sending MMI-File", "Sending MMI update file")                  \
  X(101, kStepExecutingFiles, "Executing Files", "Executing batch files")                     \
  X(103, kStepCheckingRelease, nullptr, nullptr)                                              \
  X(105, kStepStoppingMmi, "Stopping MMI", "Stopping MMI")                                    \
  X(106, kStepWaitingForDevice, "Rebooting...", "Waiting for device")                         \
  X(107, kStepCheckingVersions, "Checking Installed Versions", "Checking installed versions") \
  X(110, kStepUpdateFinished, "Update Finished", "Update finnished!")

#define KESTOR_STEP_CODE_CONSTANT(code, identifier, trace, step) constexpr LPARAM identifier = code;
KESTOR_STEP_CODES(KESTOR_STEP_CODE_CONSTANT)
#undef KESTOR_STEP_CODE_CONSTANT

struct StepCodeRow {
  int code;
  const char* traceText;
  const char* stepText;
};

inline constexpr StepCodeRow kStepCodes[] = {
#define KESTOR_STEP_CODE_ROW(code, identifier, trace, step) {code, trace, step},
    KESTOR_STEP_CODES(KESTOR_STEP_CODE_ROW)
#undef KESTOR_STEP_CODE_ROW
};

// The entry after a failed step's text (the code negated) under the bar.
constexpr int kStepErrorSuffixCode = 150;
constexpr const char* kStepErrorSuffixText = " Error!";

// The row of `code`; nullptr for a code that is not Kestor's own.
constexpr const StepCodeRow* FindStepCode(int code) {
  for (const StepCodeRow& row : kStepCodes)
    if (row.code == code) return &row;
  return nullptr;
}
