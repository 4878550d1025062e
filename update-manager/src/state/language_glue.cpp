#include "state/language_glue.h"

#include "config/update_config.h"
#include "state/display_texts.h"
#include "state/state_context.h"
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

bool SharedLanguageTexts::Load(const std::string& path, const StateContext& context) {
  bool loaded = false;
  {
    lm::Lock lock(mutex_);
    UpdateConfig* const config = context.config;
    loaded = kestor::LoadLanguage(path, table_, [config](int index, const std::string& text) {
      if (config != nullptr) config->StatusTextTable.Replace(index, text);
    });
    context.displayTexts->Apply([this](DisplayTextsRecord& record) {
      kestor::ApplyLanguageTexts(table_, record.texts, record.startEnabled);
    });
  }
  context.PostTexts();
  return loaded;
}
