// Where install looks for the driver's setup-information file: the folder
// "driver" beside the program. Plain portable C++.
#pragma once

#include <cstddef>
#include <string>

namespace install {

constexpr char kInfRelativePath[] = "driver\\vdlm.inf";

// The INF path for the program at programPath: everything after the last
// backslash replaced by "driver\vdlm.inf". False when the result would not
// fit a buffer of capacity bytes with its terminator (nothing is cut).
bool InfPathBeside(const std::string& programPath, size_t capacity, std::string* infPath);

}  // namespace install
