// The form's control ids: the form makes its controls under them, and the
// UI tests find the controls by them.
#pragma once

namespace tessaro {

enum FormControl : int {
  IDC_PANEL_FILE_NAME = 101,
  IDC_TEST_SER_NB,
  IDC_GB_FLASH,
  IDC_CB_FLASHES,
  IDC_L_FLASH,
  IDC_BASE_FLASH,
  IDC_SECTOR_ADDRESS,
  IDC_LB_FLASH,
  IDC_SCROLL_FLASH,
  IDC_GB_SEL_USB_DEV,
  IDC_VID,
  IDC_PID,
  IDC_VER,
  IDC_VER_LABEL,
  IDC_LB_COMMANDS,
  IDC_SCROLL_COMMANDS,
  IDC_LB_SUPPORTED_FWS,
  IDC_TV_USB_DEV,
  IDC_LB_PROGRAM_BLOCKS,
  IDC_SCROLL_PROGRAM_BLOCKS,
  IDC_MEMO_MSG,
  IDC_MEMO_INFO,
  IDC_STATUS_BAR,
  IDC_PROGRESS_BAR,
  IDC_SB_DLL,
};

}  // namespace tessaro
