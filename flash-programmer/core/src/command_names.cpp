#include "tessaro/command_names.h"

#include "lumetra/program_commands.h"

namespace tessaro {

const char* ProgramCommandName(int code) {
  const lm::ProgramCommandRow* row = lm::FindProgramCommand(code);
  return row ? row->name : "";
}

int ProgramCommandCode(const std::string& name) {
  for (const lm::ProgramCommandRow& row : lm::kProgramCommands)
    if (name == row.name) return row.code;
  return -1;
}

}  // namespace tessaro
