// romtest's verdict over any output.
#include "package_check/romtest_verdict.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)kestor::RomtestAccepts(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
