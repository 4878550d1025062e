#include "tessaro/memory_form.h"

namespace tessaro {

void MemoryProgramFileForm::ShowHeaderFields(ProgramFileHeader& header) {
  vidText = FormatText("0x%4.4X", {header.vid});
  pidText = FormatText("0x%4.4X", {header.pid});
  versionText = header.versionText;
}

void MemoryProgramFileForm::FlashListChanged(const TFlashes& flashes) {
  flashNames.clear();
  for (int i = 0; i < flashes.Count(); ++i) flashNames.push_back(flashes.Get(i).name);
  sectors.Clear();
  blocks.Clear();
  if (!flashes.Last()) return;
  selectedFlash = *flashes.Last();
  flashIdText = FlashIdText(selectedFlash);
  SectorsToLines(selectedFlash, sectors);
  info.Add(FormatText(">> OK, Selected flash \"%s\"", {selectedFlash.name}));
}

}  // namespace tessaro
