// The formatting helper: the input's first line is the format, each further
// line an argument (a number when it reads as one, else a text). The helper
// must stay total: no exception, no huge allocation (the runs set a small
// malloc limit).
#include "tessaro/format_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i <= input.size() && lines.size() < 4; ++i) {
    if (i == input.size() || input[i] == '\n') {
      lines.push_back(input.substr(start, i - start));
      start = i + 1;
    }
  }
  while (lines.size() < 4) lines.emplace_back();
  auto arg = [](const std::string& text) -> FormatArg {
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (!text.empty() && end && *end == 0) return FormatArg(value);
    if (!text.empty() && text[0] == 'f') return FormatArg(std::strtod(text.c_str() + 1, nullptr));
    return FormatArg(text);
  };
  std::string out = FormatText(lines[0], {arg(lines[1]), arg(lines[2]), arg(lines[3])});
  // No field is wider than 1024 characters plus what its argument brings.
  if (out.size() > (lines[0].size() + 1) * (1100 + size)) std::abort();
  return 0;
}
