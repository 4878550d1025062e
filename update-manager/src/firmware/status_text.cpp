#include "firmware/status_text.h"

#include "lumetra/program_commands.h"
#include "vocabulary/step_codes.h"

std::string StatusText(int16_t code) {
  // Kestor's own codes on the flash library's channel.
  if (const StepCodeRow* row = FindStepCode(code); row && row->traceText) return row->traceText;
  return lm::ProgramCommandTraceText(code);
}
