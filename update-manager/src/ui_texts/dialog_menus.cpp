#include "ui_texts/dialog_menus.h"

#include <commctrl.h>

#include "resource.h"

namespace kestor {
namespace {

HINSTANCE ProgramInstance() { return GetModuleHandleA(nullptr); }

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, "Version " KESTOR_RELEASE);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool AddAboutItemToSystemMenu(HWND window) {
  HMENU system = GetSystemMenu(window, FALSE);
  if (!system) return false;
  char text[256] = "";
  if (LoadStringA(ProgramInstance(), IDS_ABOUTBOX, text, sizeof text) <= 0 || text[0] == '\0')
    return false;
  AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
  return AppendMenuA(system, MF_STRING, IDM_ABOUTBOX, text) != FALSE;
}

bool BuildLanguageMenu(HWND window, const std::vector<std::string>& names) {
  if (names.empty()) return false;
  HMENU bar = GetMenu(window);
  if (!bar) return false;
  HMENU popup = CreatePopupMenu();
  if (!popup) return false;
  AppendMenuA(popup, MF_STRING, ID_LANGUAGE_ENGLISH, "English");
  for (size_t i = 0; i < names.size() && ID_LANGUAGE_ENGLISH + 1 + i <= ID_LANGUAGE_LAST; ++i)
    AppendMenuA(popup, MF_STRING, ID_LANGUAGE_ENGLISH + 1 + i, names[i].c_str());
  if (!AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), "Language")) {
    DestroyMenu(popup);
    return false;
  }
  DrawMenuBar(window);
  return true;
}

int LanguageIndexOfCommand(int command) {
  if (command < ID_LANGUAGE_ENGLISH || command > ID_LANGUAGE_LAST) return -1;
  return command - ID_LANGUAGE_ENGLISH;
}

void InitStepListColumns(HWND list, const std::array<std::string, 4>& titles) {
  static constexpr int kWidths[4] = {85, 150, 75, 75};
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES);
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kWidths[i];
    column.pszText = const_cast<char*>(titles[i].c_str());
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
}

INT_PTR ShowAboutBox(HWND owner) {
  return DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutProc, 0);
}

}  // namespace kestor
