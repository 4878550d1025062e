// The bench file that this process opened.
#pragma once

#include <string>

namespace bench {

// The bench file's full path, as given to BenchOpen.
const std::string& BenchFilePath();

// Reads one value of the bench file (INI), with a default.
std::string ReadSetting(const char* section, const char* key, const char* fallback);

}  // namespace bench
