#include <gtest/gtest.h>

#include "config/step_texts.h"
#include "package_builder.h"
#include "testsupport/testdir.h"
#include "ui_texts/language_loader.h"

namespace {

struct StepTextRow {
  const char* proves;
  int code;
  const char* text;
};

TEST(StepText, ShowsTheDefaultTextOfEveryKindOfCode) {
  const StepTextRow rows[] = {
      {"code 0 has only a blank", 0, " "},
      {"a file step without text has only a blank", 3, " "},
      {"a command code shows its command", 15, "Flash program"},
      {"a trailing blank is kept", 37, "Wrong device path "},
      {"Kestor's own code", 110, "Update finnished!"},
      {"the last command code", 52, "Device is booting..."},
      {"a failed step gets the error suffix", -15, "Flash program Error!"},
      {"a failed file step", -1, "Valid binary file name Error!"},
      {"a failed step without text keeps its blank", -3, "  Error!"},
      {"a failed own code", -110, "Update finnished! Error!"},
      {"the suffix entry itself", 150, " Error!"},
      {"past the table the number is shown", 151, "Status 151"},
      {"far past the table", 32767, "Status 32767"},
      {"a failed code past the table", -151, "Status 151 Error!"},
      {"the most negative 16-bit code", -32768, "Status 32768 Error!"},
      {"the most negative int", INT_MIN, "Status 2147483648 Error!"},
  };
  StepStatusTexts texts;
  for (const StepTextRow& row : rows) {
    EXPECT_EQ(texts.StepText(row.code), row.text) << row.proves << " (code " << row.code << ")";
  }
}

// The language loader hands the file's step status texts to the table.
void ReadLanguageFile(StepStatusTexts& texts, const std::string& path) {
  kestor::LanguageTextTable table;
  kestor::LoadLanguage(path, table,
                       [&](int index, const std::string& text) { texts.Replace(index, text); });
}

TEST(StepText, LanguageFileReplacesEntriesAndTheSuffix) {
  testsupport::TestFolder folder;
  const std::string german = folder / "deutsch.ini";
  ASSERT_TRUE(testsupport::WriteFile(
      german, kestortest::IniFileText({{"UPDATE_STATUS",
                                        {{"ZP_STATUS15", "Flash programmieren"},
                                         {"ZP_STATUS16", ""},
                                         {"ZP_STATUS150", "never read"},
                                         {"ZP_ERROR", "\" Fehler!\""}}}})));
  StepStatusTexts texts;
  // The profile functions strip blanks around a value; quotes keep them.
  ReadLanguageFile(texts, german);
  EXPECT_EQ(texts.StepText(15), "Flash programmieren");
  EXPECT_EQ(texts.StepText(-15), "Flash programmieren Fehler!");
  EXPECT_EQ(texts.StepText(16), "Flash verify") << "an empty value changes nothing";
  EXPECT_EQ(texts.StepText(-16), "Flash verify Fehler!");
  EXPECT_EQ(texts.StepText(150), " Fehler!") << "entry 150 changes only through ZP_ERROR";
  EXPECT_EQ(texts.StepText(-200), "Status 200 Fehler!");

  // A language without the key keeps the text replaced before.
  const std::string english = folder / "english.ini";
  ASSERT_TRUE(testsupport::WriteFile(english, "[UPDATE_STATUS]\r\nZP_STATUS10=Open it\r\n"));
  ReadLanguageFile(texts, english);
  EXPECT_EQ(texts.StepText(15), "Flash programmieren");
  EXPECT_EQ(texts.StepText(10), "Open it");
}

}  // namespace
