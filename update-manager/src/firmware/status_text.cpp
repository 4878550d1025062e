#include "firmware/status_text.h"

#include "lumetra/program_commands.h"

std::string StatusText(int16_t code) {
  // Kestor's own codes on the flash library's channel.
  switch (code) {
    case 100:
      return "Sending MMI-File";
    case 101:
      return "Executing Files";
    case 105:
      return "Stopping MMI";
    case 106:
      return "Rebooting...";
    case 107:
      return "Checking Installed Versions";
    case 110:
      return "Update Finished";
    default:
      return lm::ProgramCommandTraceText(code);
  }
}
