// The table of the 59 user texts of the language files. It holds nothing yet:
// the states show their English texts until the language loader fills it.
#pragma once

#include <string>

struct LanguageTextTable {
  std::string texts[59];
};

extern LanguageTextTable LanguageTexts;
