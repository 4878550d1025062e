// The 53 command codes of a program file's command list and their names.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

constexpr int kLastCommandCode = 52;
constexpr uint8_t kCommandIfVersion = 49;
constexpr uint8_t kCommandPathBD = 33;
constexpr uint8_t kCommandPathBDTest = 37;

// The name of command `code` (0..52); empty for any other code.
const char* ProgramCommandName(int code);

// The code whose name equals `name` exactly, -1 when none does.
int ProgramCommandCode(const std::string& name);

}  // namespace tessaro
