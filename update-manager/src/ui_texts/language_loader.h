// Loading a language file into the text table and the step status texts, and
// copying the labels into the window's display slots.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "ui_texts/language_texts.h"

namespace kestor {

// Number of slots of the display record and of the step status texts.
constexpr int kDisplaySlotCount = 32;
constexpr int kStatusTextCount = 151;  // 0..149 per status code, 150 the failure suffix
constexpr int kStatusErrorSuffix = 150;

// Called for every step status text a language file replaces: index 0..149
// from ZP_STATUS<n>, 150 from ZP_ERROR; never with an empty text.
using StatusTextReplacer = std::function<void(int index, const std::string& text)>;

// Fills `texts` from the language file `path` (an INI file): every key with its
// English default, so a missing file, section or key gives English. An empty
// path gives the English texts without reading any file. Then hands each
// non-empty [UPDATE_STATUS] value to `replaceStatusText` (may be empty: not
// read). Values are cut to 499 characters. False when the load broke off;
// what was read stays. Does not touch the display; see ApplyLanguageTexts.
bool LoadLanguage(const std::string& path, LanguageTextTable& texts,
                  const StatusTextReplacer& replaceStatusText);

// Display slot of each label text the language sets.
struct LabelSlot {
  int slot;
  LangText text;
};
extern const std::array<LabelSlot, 21> kLabelSlots;

constexpr int kSlotStartText = 25;
constexpr int kSlotStartEnabled = 26;
constexpr int kSlotStateTitle = 31;

// Copies the labels into the display slots (slots of kLabelSlots, the Start
// button text into 25), sets slot 31 to "Kestor - State Initialize" and
// `startEnabled` to false. Other slots keep their texts. The caller posts the
// texts to the window.
void ApplyLanguageTexts(const LanguageTextTable& texts,
                        std::array<std::string, kDisplaySlotCount>& slots, bool& startEnabled);

// Full path of a language file named in the package's language list:
// program folder (ending with "\") + "configfiles\" + file name; empty for an
// empty file name (index 0, English), which LoadLanguage reads as English.
std::string LanguageFilePath(const std::string& programFolder, const std::string& fileName);

}  // namespace kestor
