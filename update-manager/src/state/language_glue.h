// Kestor's language texts as the states and the dialog use them: one table
// shared by the state thread (which reads it) and the dialog thread (which
// loads a language from the menu), and the load that puts the labels on show.
#pragma once

#include <string>

#include "lumetra/sync.h"
#include "ui_texts/language_texts.h"

struct StateContext;

class SharedLanguageTexts {
 public:
  std::string Get(kestor::LangText id) const;
  // ErrorText1..ErrorText17 for n in 1..17, else "An unknown Error occured!".
  std::string ErrorText(int n) const;

  // Fills the table from the language file at path (empty: English), hands
  // the step status texts it replaces to the context's configuration, copies
  // the labels into the context's display texts and posts them to the dialog
  // through the context's channel.
  bool Load(const std::string& path, const StateContext& context);

 private:
  mutable lm::CriticalSection mutex_;
  kestor::LanguageTextTable table_;
};

extern SharedLanguageTexts LanguageTexts;

inline constexpr const char* kUnknownErrorText = "An unknown Error occured!";
// Exit's status when the run leaves without an update.
inline constexpr const char* kNothingInstalledText =
    "No update was installed. Press Exit to close the Kestor!";
