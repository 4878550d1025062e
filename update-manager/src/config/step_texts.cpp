#include "config/step_texts.h"

#include <cstdlib>

#include "lumetra/program_commands.h"
#include "vocabulary/step_codes.h"

void StepStatusTexts::InitStatusTexts() {
  // The command codes' defaults come with the commands, Kestor's own codes'
  // with those.
  lm::Lock lock(mutex_);
  table_.assign(kEntries, " ");
  for (const lm::ProgramCommandRow& row : lm::kProgramCommands)
    if (row.stepText) table_[row.code] = row.stepText;
  for (const StepCodeRow& row : kStepCodes)
    if (row.stepText) table_[row.code] = row.stepText;
  table_[kStepErrorSuffixCode] = kStepErrorSuffixText;
}

std::string StepStatusTexts::StepText(int code) const {
  const bool failed = code < 0;
  // Widened before negating: the code may be the most negative int.
  const long long magnitude = failed ? -static_cast<long long>(code) : code;
  lm::Lock lock(mutex_);
  // A program file may carry any command code; one without an entry shows
  // its number instead of reading past the table.
  std::string text =
      magnitude < kEntries ? table_[magnitude] : "Status " + std::to_string(magnitude);
  if (failed) text += table_[kErrorSuffix];
  return text;
}

std::string StepStatusTexts::Entry(int index) const {
  lm::Lock lock(mutex_);
  return index >= 0 && index < kEntries ? table_[index] : std::string();
}

void StepStatusTexts::Replace(int index, const std::string& text) {
  if (text.empty() || index < 0 || index >= kEntries) return;
  lm::Lock lock(mutex_);
  table_[index] = text;
}
