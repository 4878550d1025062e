// The bench file that this process opened.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

// The bench file's full path, as given to BenchOpen.
const std::string& BenchFilePath();

// Reads one value of the bench file (INI), with a default.
std::string ReadSetting(const char* section, const char* key, const char* fallback);

}  // namespace bench

// The bench clock: milliseconds that run TimeScale times faster than the
// wall, and the wall milliseconds a span of it takes.
extern "C" DWORD BenchTickCount();
extern "C" DWORD BenchRealMilliseconds(DWORD ms);
