#include <gtest/gtest.h>

#include <climits>
#include <string>

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

// Every entry of the English table; the codes not listed show a single blank.
const struct {
  int code;
  const char* text;
} kEnglish[] = {{1, "Valid binary file name"},
                {2, "Open binary file"},
                {9, "Actual step is done"},
                {10, "Open device"},
                {11, "Close device"},
                {12, "Flash autoselect"},
                {13, "Flash erase chip"},
                {14, "Flash erase sectors"},
                {15, "Flash program"},
                {16, "Flash verify"},
                {17, "Stop processes"},
                {18, "Set marker"},
                {19, "Clear marker"},
                {20, "Restart device to safe"},
                {21, "Restart device with firmware"},
                {22, "Wait 1000 ms"},
                {23, "Wait 500 ms"},
                {24, "Wait 100 ms"},
                {25, "Disable address control"},
                {26, "Test module state"},
                {27, "Reboot test"},
                {28, "Version test"},
                {29, "Test on update mode"},
                {30, "Read status"},
                {31, "Kill running processes"},
                {32, "Old PSU support, enabled"},
                {33, "Wrong device path"},
                {34, "Device reading error"},
                {35, "Device writing error"},
                {36, "Reboot Via PSU"},
                {37, "Wrong device path "},
                {38, "Reboot test with 1s pause..."},
                {39, "Restart device to update mode with 1s pause"},
                {40, "Delete log file"},
                {41, "Dont create log file"},
                {42, "Create log file"},
                {43, "Get Device Info"},
                {44, "Suspend TR410 module"},
                {45, "Get device version"},
                {46, "reserved"},
                {47, "reserved"},
                {48, "Restart device to firmware..."},
                {49, "if (version) do next cmd"},
                {50, "Reboot via PSU..."},
                {51, "User swich off and switch on"},
                {52, "Device is booting..."},
                {100, "Sending MMI update file"},
                {101, "Executing batch files"},
                {105, "Stopping MMI"},
                {106, "Waiting for device"},
                {107, "Checking installed versions"},
                {110, "Update finnished!"},
                {150, " Error!"}};

TEST(StepText, EveryEntryHoldsItsEnglishText) {
  std::string expected[StepStatusTexts::kEntries];
  for (std::string& text : expected) text = " ";
  for (const auto& e : kEnglish) expected[e.code] = e.text;
  StepStatusTexts texts;
  for (int code = 0; code < StepStatusTexts::kEntries; ++code) {
    EXPECT_EQ(texts.Entry(code), expected[code]) << "entry " << code;
    EXPECT_EQ(texts.StepText(code), expected[code]) << "code " << code;
    if (code > 0 && code < StepStatusTexts::kErrorSuffix) {
      EXPECT_EQ(texts.StepText(-code), expected[code] + " Error!") << "code " << -code;
    }
  }
}

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
                                         {"ZP_STATUS0", "Bereit"},
                                         {"ZP_STATUS149", "Letzter"},
                                         {"ZP_STATUS110", std::string(600, 'x')},
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
  EXPECT_EQ(texts.StepText(0), "Bereit");
  EXPECT_EQ(texts.StepText(149), "Letzter");
  EXPECT_EQ(texts.StepText(110), std::string(499, 'x')) << "a value holds at most 499 characters";

  // A language without the key keeps the text replaced before.
  const std::string english = folder / "english.ini";
  ASSERT_TRUE(testsupport::WriteFile(english, "[UPDATE_STATUS]\r\nZP_STATUS10=Open it\r\n"));
  ReadLanguageFile(texts, english);
  EXPECT_EQ(texts.StepText(15), "Flash programmieren");
  EXPECT_EQ(texts.StepText(10), "Open it");
}

}  // namespace
