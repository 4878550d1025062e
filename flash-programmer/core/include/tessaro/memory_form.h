// The reader's form held in memory: the lists and fields the window shows,
// without a window. Native builds and tests read program files through it.
#pragma once

#include <string>
#include <vector>

#include "tessaro/program_file.h"

namespace tessaro {

class MemoryProgramFileForm : public ProgramFileForm {
 public:
  TStrings* InfoLines() override { return &info; }
  TSelectableList& CommandLines() override { return commands; }
  TSelectableList& VersionLines() override { return versions; }
  TSelectableList& SectorLines() override { return sectors; }
  TSelectableList& BlockLines() override { return blocks; }
  void ShowHeaderFields(ProgramFileHeader& header) override;
  void FlashListChanged(const TFlashes& flashes) override;
  const FlashRecord& SelectedFlash() const override { return selectedFlash; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  TMemoryLines info, commands, versions, sectors, blocks;
  std::vector<std::string> flashNames;
  FlashRecord selectedFlash;
  std::string vidText = "0xFFFF", pidText = "0xFFFF", versionText = "?.????????";
  std::string flashIdText;
  std::vector<std::string> messages;
};

}  // namespace tessaro
