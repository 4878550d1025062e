// The form as the reader's view (the header's fields, the flash list and its
// sectors) and as the job's view (the file name, the progress display, its
// status line and the command list's position).
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "form_binprog.h"
#include "tessaro/flash_settings.h"
#include "tessaro/text_utils.h"

namespace tessaro {

void TFormBinProg::ShowHeaderFields(ProgramFileHeader& header) {
  SetText(IDC_VID, FormatText("%d", {header.vid}));
  SetHint(IDC_VID, "Vendor ID: " + Text(IDC_VID));
  SetText(IDC_PID, FormatText("%d", {header.pid}));
  SetHint(IDC_PID, "Product ID: " + Text(IDC_PID));
  SetText(IDC_VER, header.versionText);
  SetHint(IDC_VER, "Serial Number: " + Text(IDC_VER));
  LeaveVid();
  LeavePid();
  LeaveVersion();
}

void TFormBinProg::LeaveIdField(int id, uint16_t& value) {
  int64_t number = 0;
  if (TextToInteger(Text(id), number)) value = static_cast<uint16_t>(number);
  SetText(id, FormatText("0x%4.4X", {value}));
}

void TFormBinProg::LeaveVid() { LeaveIdField(IDC_VID, Records().header.vid); }
void TFormBinProg::LeavePid() { LeaveIdField(IDC_PID, Records().header.pid); }
void TFormBinProg::LeaveVersion() { Records().header.versionText = Text(IDC_VER); }

void TFormBinProg::FlashListChanged(const TFlashes& flashes) {
  HWND combo = Control(IDC_CB_FLASHES);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  SetText(IDC_CB_FLASHES, "Select FLASH");
  SetText(IDC_L_FLASH, "Manufacture ID 0xXX,  Device ID 0xXX");
  SetText(IDC_BASE_FLASH, "BaseFlashAddress");
  SetText(IDC_SECTOR_ADDRESS, "SectorAddress");
  sectors_.Clear();
  for (int i = 0; i < flashes.Count(); ++i)
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(flashes.Get(i).name.c_str()));
  if (flashes.Count() == 0) return;
  SendMessageA(combo, CB_SETCURSEL, flashes.Count() - 1u, 0);
  FlashesChange();
}

void TFormBinProg::FlashesChange() {
  LRESULT selected = SendMessageA(Control(IDC_CB_FLASHES), CB_GETCURSEL, 0, 0);
  const TFlashes& flashes = Records().flashes;
  if (selected < 0 || selected >= flashes.Count()) return;
  sectors_.Clear();
  blocks_.Clear();
  try {
    FlashRecord flash = flashes.Get(static_cast<int>(selected));
    SetText(IDC_L_FLASH, FlashIdText(flash));
    baseFlashAddress_ = flash.baseFlashAddress;
    sectorAddress_ = flash.sectorAddress;
    SetText(IDC_BASE_FLASH, FormatText("0x%8.8X", {baseFlashAddress_}));
    SetText(IDC_SECTOR_ADDRESS, FormatText("0x%8.8X", {sectorAddress_}));
    SectorsToLines(flash, sectors_);
    selectedFlash_ = flash;
    Log(&info_, ">> OK, Selected flash \"%s\"", {flash.name});
  } catch (...) {
  }
  SetFlashTimes(selectedFlash_);
  SyncScrollBar(IDC_SCROLL_FLASH, sectors_);
  SyncScrollBar(IDC_SCROLL_PROGRAM_BLOCKS, blocks_);
}

void TFormBinProg::JobStarted(const std::string& fileName) {
  SetText(IDC_PANEL_FILE_NAME, "[" + fileName + "]");
}

void TFormBinProg::ProgressChanged(int position, int maximum) {
  HWND bar = Control(IDC_PROGRESS_BAR);
  SendMessageA(bar, PBM_SETRANGE32, 0, maximum);
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TFormBinProg::FlashProgressChanged(FlashPhase phase, int done, int total) {
  // The bar follows the job's progress (ProgressChanged); this is its status line.
  HWND line = Control(IDC_STATUS_BAR);
  if (phase == FlashPhase::kDone) {
    SetWindowTextA(line, "Done");
    return;
  }
  const char* prefix = phase == FlashPhase::kEraseSectors ? "Er.Sec.:"
                       : phase == FlashPhase::kProgram    ? "Prog.:"
                       : phase == FlashPhase::kVerify     ? "Ver.:"
                                                          : nullptr;
  if (prefix && done > 0)
    SetWindowTextA(line, FormatText("%s%d/%d (Esc)", {prefix, done, total}).c_str());
}

void TFormBinProg::ShowCommandLine(int line) {
  SendMessageA(commands_.Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(line < 0 ? 0 : line), 0);
}

}  // namespace tessaro
