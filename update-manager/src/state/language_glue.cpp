#include "state/language_glue.h"

#include "config/update_config.h"
#include "state/display_texts.h"
#include "state/update_state.h"
#include "ui_texts/language_loader.h"

SharedLanguageTexts LanguageTexts;

std::string SharedLanguageTexts::Get(kestor::LangText id) const {
  lm::Lock lock(mutex_);
  return table_.Get(id);
}

std::string SharedLanguageTexts::ErrorText(int n) const {
  if (n < 1 || n > 17) return kUnknownErrorText;
  lm::Lock lock(mutex_);
  return table_.ErrorText(n);
}

bool SharedLanguageTexts::Load(const std::string& path) {
  bool loaded = false;
  {
    lm::Lock lock(mutex_);
    loaded = kestor::LoadLanguage(path, table_, [](int index, const std::string& text) {
      if (theConfig != nullptr) theConfig->StatusTextTable.Replace(index, text);
    });
    DisplayTexts.Apply([this](DisplayTextsRecord& record) {
      kestor::ApplyLanguageTexts(table_, record.texts, record.startEnabled);
    });
  }
  UpdateState::PostTexts();
  return loaded;
}
