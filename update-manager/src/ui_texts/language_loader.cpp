#include "ui_texts/language_loader.h"

#include <windows.h>

namespace kestor {
namespace {

// A value is at most 499 characters; the profile functions cut longer ones.
constexpr DWORD kValueBuffer = 500;

std::string ReadValue(const std::string& path, const char* section, const char* key,
                      const char* fallback) {
  char buffer[kValueBuffer];
  GetPrivateProfileStringA(section, key, fallback, buffer, kValueBuffer, path.c_str());
  return buffer;
}

}  // namespace

const std::array<LabelSlot, 21> kLabelSlots = {{
    {0, LangText::Titel},
    {1, LangText::Upd_Box_Label},
    {2, LangText::Upd_Dev_Label},
    {4, LangText::Upd_Rev_Label},
    {6, LangText::Dev_Box_Label},
    {7, LangText::Dev_Type_Label},
    {9, LangText::Dev_Ser_Label},
    {11, LangText::Dev_Rev_Label},
    {13, LangText::Dev_Status_Label},
    {16, LangText::UpdProc_Box_Text},
    {18, LangText::UpdProc_Step_Label},
    {19, LangText::UpdProc_All_Label},
    {20, LangText::SoftwareBox_Label},
    {21, LangText::SoftwareBox_Col1},
    {22, LangText::SoftwareBox_Col2},
    {23, LangText::SoftwareBox_Col3},
    {24, LangText::SoftwareBox_Col4},
    {25, LangText::StartUpd_Button_Text},
    {27, LangText::Detail_Button_Show_Text},
    {28, LangText::Detail_Button_Hide_Text},
    {30, LangText::ExitButton_Text},
}};

bool LoadLanguage(const std::string& path, LanguageTextTable& texts,
                  const StatusTextReplacer& replaceStatusText) {
  try {
    // The profile functions would read win.ini for an empty name.
    const bool english = path.empty();
    for (int i = 0; i < kLanguageTextCount; ++i) {
      const LanguageKey& k = kLanguageKeys[i];
      texts.Set(static_cast<LangText>(i),
                english ? std::string(k.english) : ReadValue(path, k.section, k.key, k.english));
    }
    if (english || !replaceStatusText) return true;
    for (int n = 0; n < kStatusErrorSuffix; ++n) {
      std::string value =
          ReadValue(path, "UPDATE_STATUS", ("ZP_STATUS" + std::to_string(n)).c_str(), "");
      if (!value.empty()) replaceStatusText(n, value);
    }
    std::string suffix = ReadValue(path, "UPDATE_STATUS", "ZP_ERROR", "");
    if (!suffix.empty()) replaceStatusText(kStatusErrorSuffix, suffix);
    return true;
  } catch (...) {
    return false;
  }
}

void ApplyLanguageTexts(const LanguageTextTable& texts,
                        std::array<std::string, kDisplaySlotCount>& slots, bool& startEnabled) {
  for (const LabelSlot& l : kLabelSlots) {
    slots[l.slot] = texts.Get(l.text);
  }
  startEnabled = false;
  slots[kSlotStateTitle] = "Kestor - State Initialize";
}

std::string LanguageFilePath(const std::string& programFolder, const std::string& fileName) {
  if (fileName.empty()) return {};  // the built-in English texts
  return programFolder + "configfiles\\" + fileName;
}

}  // namespace kestor
