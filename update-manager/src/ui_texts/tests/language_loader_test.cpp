// Language files written into a test folder and loaded as Kestor loads them.
#include "ui_texts/language_loader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "testsupport/testdir.h"
#include "ui_texts/dialog_menus.h"

using namespace kestor;
using testsupport::TestFolder;

namespace {

std::map<int, std::string> g_replaced;
void Record(int index, const std::string& text) { g_replaced[index] = text; }

void ExpectEnglish(const LanguageTextTable& texts) {
  for (int i = 0; i < kLanguageTextCount; ++i)
    EXPECT_EQ(kLanguageKeys[i].english, texts.Get(static_cast<LangText>(i)))
        << "[" << kLanguageKeys[i].section << "] " << kLanguageKeys[i].key;
}

TEST(LanguageTexts, TableHoldsTheKeysInReadingOrderWithTheirDefaults) {
  // A sample of rows pinned by section, key and text; the order is the loader's.
  struct Row {
    LangText id;
    const char* section;
    const char* key;
    const char* english;
  };
  const Row rows[] = {
      {LangText::Titel, "WindowTitel", "Titel", "Kestor"},
      {LangText::Dev_Box_Label, "DeviceBox", "Dev_Box_Label", "Device"},
      {LangText::Dev_Status_Label, "DeviceBox", "Dev_Status_Label", "Status:"},
      {LangText::StartUpd_Button_Continue_Text, "UpdateprozessBox", "StartUpd_Button_Continue_Text",
       "Continue &Update"},
      {LangText::ErrorText1, "ErrorMessages", "ErrorText1",
       "Error - Update file invalid: Please reinstall the application!"},
      {LangText::ErrorText17, "ErrorMessages", "ErrorText17",
       "Error - The Lumetra driver installation failed: Please reinstall the application!"},
      {LangText::SoftwareBox_Col4, "SoftwareBox", "Col4", "UpdVers"},
      {LangText::ExitButton_Text, "ExitButton", "Text", "E&xit"},
      {LangText::NotifyDeviceLockup, "MessageBoxes", "NotifyDeviceLockup",
       "Warning! The device is not responding. Please wait or restart the device manually."},
      {LangText::CloseUpdater, "Status", "CloseUpdater",
       "Update installed successfully! Press Exit to close the Kestor!"},
      {LangText::DevStatusSUSB, "Status", "DevStatusSUSB", "The device is in the update mode"},
  };
  for (const Row& r : rows) {
    const LanguageKey& k = kLanguageKeys[static_cast<int>(r.id)];
    EXPECT_STREQ(r.section, k.section) << r.key;
    EXPECT_STREQ(r.key, k.key);
    EXPECT_STREQ(r.english, k.english) << r.key;
  }
}

TEST(LanguageTexts, ErrorTextNumbersOneToSeventeen) {
  LanguageTextTable texts;
  ASSERT_TRUE(LoadLanguage("", texts, nullptr));
  EXPECT_EQ("Error - No USB port found!", texts.ErrorText(3));
  EXPECT_EQ("Update cancelled by user: Please restart the application to finish the update!",
            texts.ErrorText(15));
  EXPECT_EQ("", texts.ErrorText(0));
  EXPECT_EQ("", texts.ErrorText(18));
  EXPECT_EQ("", texts.ErrorText(-1));
}

TEST(LoadLanguage, EmptyNameGivesEnglishAndLeavesStatusTextsAlone) {
  LanguageTextTable texts;
  g_replaced.clear();
  EXPECT_TRUE(LoadLanguage("", texts, Record));
  ExpectEnglish(texts);
  EXPECT_TRUE(g_replaced.empty());
}

TEST(LoadLanguage, MissingFileGivesEnglish) {
  TestFolder folder;
  LanguageTextTable texts;
  texts.Set(LangText::Titel, "Kestor DE");
  g_replaced.clear();
  EXPECT_TRUE(LoadLanguage(folder / "configfiles\\missing.lng", texts, Record));
  ExpectEnglish(texts);
  EXPECT_TRUE(g_replaced.empty());
}

TEST(LoadLanguage, EveryKeyIsReadFromItsSection) {
  TestFolder folder;
  std::string file;
  std::string section;
  for (const LanguageKey& k : kLanguageKeys) {
    if (section != k.section) file += std::string("[") + k.section + "]\r\n";
    section = k.section;
    file += std::string(k.key) + "=" + k.section + "/" + k.key + " de\r\n";
  }
  testsupport::WriteFile(folder / "german.lng", file);
  LanguageTextTable texts;
  ASSERT_TRUE(LoadLanguage(folder / "german.lng", texts, nullptr));
  for (int i = 0; i < kLanguageTextCount; ++i)
    EXPECT_EQ(std::string(kLanguageKeys[i].section) + "/" + kLanguageKeys[i].key + " de",
              texts.Get(static_cast<LangText>(i)))
        << kLanguageKeys[i].key;
}

TEST(LoadLanguage, FileWithSomeKeysChangesOnlyThose) {
  TestFolder folder;
  testsupport::WriteFile(folder / "part.lng",
                         "[WindowTitel]\r\nTitel=Kestor Deutsch\r\n"
                         "[ErrorMessages]\r\nErrorText7=Mehr als ein Geraet!\r\n"
                         "[DeviceBox]\r\nUnknownKey=x\r\n");
  LanguageTextTable texts;
  ASSERT_TRUE(LoadLanguage(folder / "part.lng", texts, nullptr));
  const int errorText7 = static_cast<int>(LangText::ErrorText1) + 6;
  for (int i = 0; i < kLanguageTextCount; ++i) {
    std::string expected = kLanguageKeys[i].english;
    if (i == static_cast<int>(LangText::Titel)) expected = "Kestor Deutsch";
    if (i == errorText7) expected = "Mehr als ein Geraet!";
    EXPECT_EQ(expected, texts.Get(static_cast<LangText>(i))) << kLanguageKeys[i].key;
  }
}

TEST(LoadLanguage, TextsAreCutAt499Characters) {
  TestFolder folder;
  const std::string longText(600, 'x');
  testsupport::WriteFile(folder / "long.lng", "[Status]\r\nNoDev=" + longText + "\r\n");
  LanguageTextTable texts;
  ASSERT_TRUE(LoadLanguage(folder / "long.lng", texts, nullptr));
  EXPECT_EQ(std::string(499, 'x'), texts.Get(LangText::NoDev));
}

TEST(LoadLanguage, NonEmptyStatusKeysReplaceTheirEntries) {
  TestFolder folder;
  testsupport::WriteFile(folder / "status.lng",
                         "[UPDATE_STATUS]\r\n"
                         "ZP_STATUS0=Bereit\r\n"
                         "ZP_STATUS3=\r\n"
                         "ZP_STATUS15=Flash programmieren\r\n"
                         "ZP_STATUS149=Letzter\r\n"
                         "ZP_STATUS150=nie gelesen\r\n"
                         "ZP_ERROR= Fehler!\r\n");
  LanguageTextTable texts;
  g_replaced.clear();
  ASSERT_TRUE(LoadLanguage(folder / "status.lng", texts, Record));
  const std::map<int, std::string> expected = {
      {0, "Bereit"}, {15, "Flash programmieren"}, {149, "Letzter"}, {150, "Fehler!"}};
  EXPECT_EQ(expected, g_replaced);
  ExpectEnglish(texts);
}

TEST(ApplyLanguageTexts, LabelsGoToTheirSlotsAndTheRestIsKept) {
  TestFolder folder;
  testsupport::WriteFile(
      folder / "x.lng",
      "[WindowTitel]\r\nTitel=T\r\n[UpdateBox]\r\nUpd_Box_Label=UB\r\n"
      "Upd_Dev_Label=UD\r\nUpd_Rev_Label=UR\r\n[DeviceBox]\r\nDev_Box_Label=DB\r\n"
      "Dev_Rev_Label=DR\r\nDev_Ser_Label=DS\r\nDev_Type_Label=DT\r\n"
      "Dev_Status_Label=DSt\r\n[UpdateprozessBox]\r\nUpdProc_Box_Text=PB\r\n"
      "UpdProc_All_Label=PA\r\nUpdProc_Step_Label=PS\r\n"
      "StartUpd_Button_Text=SB\r\nStartUpd_Button_Cancel_Text=CB\r\n"
      "Detail_Button_Show_Text=DSh\r\nDetail_Button_Hide_Text=DH\r\n"
      "[SoftwareBox]\r\nLabel=SW\r\nCol1=C1\r\nCol2=C2\r\nCol3=C3\r\nCol4=C4\r\n"
      "[ExitButton]\r\nText=EX\r\n");
  LanguageTextTable texts;
  ASSERT_TRUE(LoadLanguage(folder / "x.lng", texts, nullptr));
  std::array<std::string, kDisplaySlotCount> slots;
  for (int i = 0; i < kDisplaySlotCount; ++i) slots[i] = "kept " + std::to_string(i);
  bool startEnabled = true;
  ApplyLanguageTexts(texts, slots, startEnabled);
  const std::map<int, std::string> expected = {{0, "T"},    {1, "UB"},
                                               {2, "UD"},   {4, "UR"},
                                               {6, "DB"},   {7, "DT"},
                                               {9, "DS"},   {11, "DR"},
                                               {13, "DSt"}, {16, "PB"},
                                               {18, "PS"},  {19, "PA"},
                                               {20, "SW"},  {21, "C1"},
                                               {22, "C2"},  {23, "C3"},
                                               {24, "C4"},  {25, "SB"},
                                               {27, "DSh"}, {28, "DH"},
                                               {30, "EX"},  {31, "Kestor - State Initialize"}};
  for (int i = 0; i < kDisplaySlotCount; ++i) {
    auto it = expected.find(i);
    EXPECT_EQ(it != expected.end() ? it->second : "kept " + std::to_string(i), slots[i])
        << "slot " << i;
  }
  EXPECT_FALSE(startEnabled);
}

TEST(LanguageFilePath, FileBelowTheConfigurationFolder) {
  EXPECT_EQ("C:\\Kestor\\configfiles\\deutsch.lng",
            LanguageFilePath("C:\\Kestor\\", "deutsch.lng"));
  EXPECT_EQ("", LanguageFilePath("C:\\Kestor\\", ""));
}

TEST(LanguageMenu, CommandsMapToLanguageIndexes) {
  const std::pair<int, int> rows[] = {{32778, -1}, {32779, 0},  {32780, 1}, {32781, 2},
                                      {32788, 9},  {32789, -1}, {32771, -1}};
  for (auto [command, index] : rows)
    EXPECT_EQ(index, LanguageIndexOfCommand(command)) << "command " << command;
}

}  // namespace
