#include "state/display_texts.h"

SharedDisplayTexts DisplayTexts;

void SharedDisplayTexts::SetText(int slot, const std::string& text) {
  if (slot < 0 || slot >= DISPLAY_SLOT_COUNT) return;
  lm::Lock lock(mutex_);
  record_.texts[slot] = text;
}

void SharedDisplayTexts::SetStartEnabled(bool enabled) {
  lm::Lock lock(mutex_);
  record_.startEnabled = enabled;
}

void SharedDisplayTexts::Apply(const std::function<void(DisplayTextsRecord&)>& change) {
  lm::Lock lock(mutex_);
  change(record_);
}

DisplayTextsRecord SharedDisplayTexts::Copy() const {
  lm::Lock lock(mutex_);
  return record_;
}

void SharedDisplayTexts::Clear() {
  lm::Lock lock(mutex_);
  record_ = DisplayTextsRecord{};
}
