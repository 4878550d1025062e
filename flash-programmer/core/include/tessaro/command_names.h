// The 53 command codes of a program file's command list and their names.
#pragma once

#include <cstdint>
#include <string>

#include "lumetra/program_commands.h"

namespace tessaro {

constexpr int kLastCommandCode = lm::kLastProgramCommand;
constexpr uint8_t kCommandIfVersion = lm::cmd::IfVersionDoNextCmd;
constexpr uint8_t kCommandPathBD = lm::cmd::PathTR410BD;
constexpr uint8_t kCommandPathBDTest = lm::cmd::PathTR410TestBD;

// The name of command `code` (0..52); empty for any other code.
const char* ProgramCommandName(int code);

// The code whose name equals `name` exactly, -1 when none does.
int ProgramCommandCode(const std::string& name);

}  // namespace tessaro
