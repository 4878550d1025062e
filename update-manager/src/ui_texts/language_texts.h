// The 59 translatable texts of Kestor's window and message boxes, with their
// language-file section, key and English default.
#pragma once

#include <array>
#include <string>

namespace kestor {

// One text per language-file key, in the order the loader reads them.
enum class LangText : int {
  Titel,
  Upd_Box_Label,
  Upd_Dev_Label,
  Upd_Rev_Label,
  Dev_Box_Label,
  Dev_Rev_Label,
  Dev_Ser_Label,
  Dev_Type_Label,
  Dev_Status_Label,
  UpdProc_Box_Text,
  UpdProc_All_Label,
  UpdProc_Step_Label,
  StartUpd_Button_Text,
  StartUpd_Button_Continue_Text,
  StartUpd_Button_Cancel_Text,
  Detail_Button_Show_Text,
  Detail_Button_Hide_Text,
  ErrorText1,  // ErrorText1 .. ErrorText17 follow in order
  ErrorText17 = ErrorText1 + 16,
  SoftwareBox_Label,
  SoftwareBox_Col1,
  SoftwareBox_Col2,
  SoftwareBox_Col3,
  SoftwareBox_Col4,
  ExitButton_Text,
  SameRev,
  OldRev,
  InstallDriver,
  ExitAbort,
  ExitImpossible,
  ExitStopUpdate,
  ExitAbortHeader,
  NotifyDeviceLockup,
  UpdateReadyText,
  RunningUpdate,
  CloseUpdater,
  NoDriver,
  DriverInstall,
  ReadDev,
  NoDev,
  DevBoot,
  USBOn,
  USBOff,
  DevStatusSUSB,
  Count
};

constexpr int kLanguageTextCount = static_cast<int>(LangText::Count);
static_assert(kLanguageTextCount == 59);

struct LanguageKey {
  const char* section;
  const char* key;
  const char* english;
};

// Section, key and English default of every text, indexed by LangText.
extern const std::array<LanguageKey, kLanguageTextCount> kLanguageKeys;

// The table of texts; starts empty, filled by LoadLanguage.
class LanguageTextTable {
 public:
  const std::string& Get(LangText id) const { return texts_[static_cast<int>(id)]; }
  void Set(LangText id, std::string text) { texts_[static_cast<int>(id)] = std::move(text); }
  // ErrorText1..ErrorText17 for n in 1..17; empty for any other n.
  std::string ErrorText(int n) const;

 private:
  std::array<std::string, kLanguageTextCount> texts_;
};

}  // namespace kestor
