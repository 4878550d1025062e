#include "package_check/romtest_verdict.h"

namespace kestor {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool RomtestAccepts(std::string_view output) {
  size_t i = 0;
  while (i < output.size() && IsBlank(output[i])) ++i;
  if (i < output.size() && (output[i] == '+' || output[i] == '-')) ++i;
  // The number is not 0 exactly when its digits (before and after the point)
  // hold one that is not 0; an exponent cannot make such a number 0.
  bool nonZero = false;
  for (; i < output.size() && IsDigit(output[i]); ++i) nonZero |= output[i] != '0';
  if (i < output.size() && output[i] == '.') {
    for (++i; i < output.size() && IsDigit(output[i]); ++i) nonZero |= output[i] != '0';
  }
  return nonZero;
}

}  // namespace kestor
