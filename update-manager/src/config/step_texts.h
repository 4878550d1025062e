// The texts shown under the step progress bar for a status code: the flash
// library's status word (0..52, negated when that step failed) and Kestor's
// own codes (vocabulary/step_codes.h).
#pragma once

#include <string>
#include <vector>

#include "lumetra/sync.h"
#include "vocabulary/step_codes.h"

class StepStatusTexts {
 public:
  static constexpr int kEntries = 151;
  static constexpr int kErrorSuffix = kStepErrorSuffixCode;

  StepStatusTexts() { InitStatusTexts(); }

  void InitStatusTexts();
  // The text of a code; a failed step (negative code) gets the error suffix.
  // A code of magnitude 151 or more has no entry and shows its number.
  std::string StepText(int code) const;
  std::string Entry(int index) const;
  // Replaces one entry; an empty text leaves it as it is.
  void Replace(int index, const std::string& text);

 private:
  mutable lm::CriticalSection mutex_;
  std::vector<std::string> table_;
};
