#include "state/display_texts.h"

SharedDisplayTexts DisplayTexts;

void SharedDisplayTexts::SetText(int slot, const std::string& text) {
  if (slot < 0 || slot >= DISPLAY_SLOT_COUNT) return;
  std::lock_guard<std::mutex> lock(mutex_);
  record_.texts[slot] = text;
}

void SharedDisplayTexts::SetStartEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  record_.startEnabled = enabled;
}

void SharedDisplayTexts::Apply(const std::function<void(DisplayTextsRecord&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  change(record_);
}

DisplayTextsRecord SharedDisplayTexts::Copy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_;
}

void SharedDisplayTexts::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  record_ = DisplayTextsRecord{};
}
