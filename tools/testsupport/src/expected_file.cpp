#include "testsupport/expected_file.h"

#include <windows.h>

#include <cctype>

#include "testsupport/testdir.h"

namespace testsupport {
namespace {

bool Recording() {
  char value[8] = {};
  return GetEnvironmentVariableA("LUMETRA_RECORD_EXPECTED", value, sizeof value) > 0 &&
         std::string(value) == "1";
}

// The line of `text` that starts at `from`, without its end.
std::string LineAt(const std::string& text, size_t from) {
  if (from >= text.size()) return "(end of text)";
  return text.substr(from, text.find('\n', from) - from);
}

}  // namespace

::testing::AssertionResult MatchesExpectedFile(const std::string& actual,
                                               const std::string& relative) {
  std::string path = std::string(LUMETRA_SOURCE_DIR) + "\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  if (Recording()) {
    if (!WriteFile(path, actual)) return ::testing::AssertionFailure() << "cannot write " << path;
    return ::testing::AssertionSuccess();
  }
  std::string expected;
  if (!ReadFile(path, &expected))
    return ::testing::AssertionFailure()
           << "no expected file " << path << " (LUMETRA_RECORD_EXPECTED=1 writes it)";
  if (expected == actual) return ::testing::AssertionSuccess();
  size_t at = 0, line = 1, lineStart = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
    if (expected[at] == '\n') {
      ++line;
      lineStart = at + 1;
    }
    ++at;
  }
  return ::testing::AssertionFailure() << relative << " differs at line " << line
                                       << "\n  expected: " << LineAt(expected, lineStart)
                                       << "\n  actual:   " << LineAt(actual, lineStart);
}

std::string MaskTimeStamps(std::string text) {
  // dd.mm.yy hh:nn:ss,zzz: digits where the pattern has '#'.
  static const char kPattern[] = "##.##.## ##:##:##,###";
  const size_t length = sizeof kPattern - 1;
  for (size_t i = 0; i + length <= text.size(); ++i) {
    size_t k = 0;
    while (k < length && (kPattern[k] == '#' ? std::isdigit(static_cast<unsigned char>(text[i + k]))
                                             : text[i + k] == kPattern[k]))
      ++k;
    if (k < length) continue;
    text.replace(i, length, kPattern);
    i += length - 1;
  }
  return text;
}

}  // namespace testsupport
