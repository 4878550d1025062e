// Kestor's compiled resources, linked into this test program: the main
// dialog with every control, its menus, the run-time menus and columns, and
// the About box, read back through the UI test driver.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <array>
#include <string>

#include "lumetra/sync.h"
#include "resource.h"
#include "testsupport/uidriver.h"
#include "ui_texts/dialog_menus.h"

using namespace testsupport;

namespace {

INT_PTR CALLBACK PlainProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

class MainDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_KESTOR_DIALOG),
                                 nullptr, PlainProc, 0);
    ASSERT_NE(nullptr, dialog_) << GetLastError();
  }
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
  }
  HWND dialog_ = nullptr;
};

std::string MenuText(HMENU menu, int position) {
  char text[256] = "";
  GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

TEST_F(MainDialog, EveryControlHasItsClassInitialTextAndVisibility) {
  struct Row {
    int id;
    const char* className;
    const char* text;
    bool visible;
  };
  const Row rows[] = {
      {1000, "Button", "Update", true},        {1001, "Static", "Statisch", true},
      {1002, "Static", "Statisch", true},      {1003, "Static", "Statisch", true},
      {1004, "Static", "Statisch", true},      {1005, "Button", "Device", true},
      {1006, "Static", "Statisch", true},      {1010, "Static", "Statisch", true},
      {1007, "Static", "Statisch", true},      {1011, "Static", "Statisch", true},
      {1008, "Static", "Statisch", true},      {1012, "Static", "Statisch", true},
      {1009, "Static", "Statisch", true},      {1013, "Static", "Statisch", true},
      {1014, "Button", "Statisch", true},      {1018, "Static", "Statisch", true},
      {1016, "msctls_progress32", "", true},   {1019, "Static", "Statisch", true},
      {1015, "msctls_progress32", "", true},   {1017, "Static", "Statisch", true},
      {1025, "Button", "Device", false},       {1020, "Static", "Statisch", false},
      {1029, "Static", "Statisch", false},     {1023, "Static", "Statisch", false},
      {1030, "Static", "Statisch", false},     {1027, "Static", "Statisch", false},
      {1031, "Static", "Statisch", false},     {1028, "Static", "Statisch", false},
      {1032, "Static", "Statisch", false},     {1026, "Button", "Software", false},
      {1024, "SysListView32", "", false},      {1033, "Button", "Show &Details", true},
      {1034, "Button", "Start &Update", true}, {1058, "Button", "E&xit", true},
  };
  for (const Row& r : rows) {
    HWND control = GetDlgItem(dialog_, r.id);
    ASSERT_NE(nullptr, control) << "control " << r.id;
    EXPECT_EQ(0, lstrcmpiA(r.className, ClassName(control).c_str()))
        << "control " << r.id << " is a " << ClassName(control);
    EXPECT_EQ(r.text, ControlText(dialog_, r.id)) << "control " << r.id;
    EXPECT_EQ(r.visible, ControlVisible(dialog_, r.id)) << "control " << r.id;
  }
  // Group boxes are group boxes, not buttons.
  for (int id : {1000, 1005, 1014, 1025, 1026})
    EXPECT_EQ(BS_GROUPBOX, GetWindowLongPtrA(GetDlgItem(dialog_, id), GWL_STYLE) & BS_TYPEMASK)
        << "control " << id;
  EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(dialog_, 1024), GWL_STYLE) & LVS_REPORT);
  EXPECT_EQ("Kestor", WindowText(dialog_));
}

TEST_F(MainDialog, TitleBitmapIsShownByItsPictureControl) {
  HWND picture = GetDlgItem(dialog_, IDC_TITLE_BITMAP);
  ASSERT_NE(nullptr, picture);
  EXPECT_EQ(0, lstrcmpiA("Static", ClassName(picture).c_str()));
  EXPECT_EQ(SS_BITMAP, GetWindowLongPtrA(picture, GWL_STYLE) & SS_TYPEMASK);
  EXPECT_NE(0, SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  HBITMAP title = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TITLE));
  ASSERT_NE(nullptr, title);
  DeleteObject(title);
}

TEST_F(MainDialog, IconsLoad) {
  for (int id : {IDR_MAINFRAME, IDI_INFO}) {
    HICON big = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(nullptr, big) << "icon " << id;
    if (big) DestroyIcon(big);
  }
}

TEST_F(MainDialog, MenuBarHoldsTheHelpPopup) {
  HMENU bar = GetMenu(dialog_);
  ASSERT_NE(nullptr, bar);
  ASSERT_EQ(1, GetMenuItemCount(bar));
  EXPECT_EQ("&?", MenuText(bar, 0));
  HMENU help = GetSubMenu(bar, 0);
  ASSERT_NE(nullptr, help);
  ASSERT_EQ(2, GetMenuItemCount(help));
  EXPECT_EQ("Info", MenuText(help, 0));
  EXPECT_EQ(32771u, GetMenuItemID(help, 0));
  EXPECT_EQ("Help (F1)", MenuText(help, 1));
  EXPECT_EQ(32772u, GetMenuItemID(help, 1));
}

TEST_F(MainDialog, SystemMenuGetsTheAboutItemBehindASeparator) {
  ASSERT_TRUE(kestor::AddAboutItemToSystemMenu(dialog_));
  HMENU system = GetSystemMenu(dialog_, FALSE);
  int count = GetMenuItemCount(system);
  ASSERT_GE(count, 2);
  EXPECT_EQ(
      "&Info \xFC"
      "ber Kestor...",
      MenuText(system, count - 1));
  EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(system, count - 1));
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoA(system, count - 2, TRUE, &info));
  EXPECT_TRUE(info.fType & MFT_SEPARATOR);
}

TEST_F(MainDialog, LanguagePopupListsEnglishThenThePackagesLanguages) {
  ASSERT_TRUE(kestor::BuildLanguageMenu(dialog_, {"Deutsch", "Francais"}));
  HMENU bar = GetMenu(dialog_);
  ASSERT_EQ(2, GetMenuItemCount(bar));
  EXPECT_EQ("Language", MenuText(bar, 1));
  HMENU languages = GetSubMenu(bar, 1);
  ASSERT_EQ(3, GetMenuItemCount(languages));
  const std::pair<const char*, UINT> rows[] = {
      {"English", 32779}, {"Deutsch", 32780}, {"Francais", 32781}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].first, MenuText(languages, i)) << "item " << i;
    EXPECT_EQ(rows[i].second, GetMenuItemID(languages, i)) << "item " << i;
  }
}

TEST_F(MainDialog, NoLanguageListAddsNoPopup) {
  EXPECT_FALSE(kestor::BuildLanguageMenu(dialog_, {}));
  EXPECT_EQ(1, GetMenuItemCount(GetMenu(dialog_)));
}

TEST_F(MainDialog, LanguagePopupOffersAtMostNineLanguages) {
  std::vector<std::string> names;
  for (int i = 1; i <= 10; ++i) names.push_back("L" + std::to_string(i));
  ASSERT_TRUE(kestor::BuildLanguageMenu(dialog_, names));
  HMENU languages = GetSubMenu(GetMenu(dialog_), 1);
  ASSERT_EQ(10, GetMenuItemCount(languages));
  EXPECT_EQ("L9", MenuText(languages, 9));
  EXPECT_EQ(32788u, GetMenuItemID(languages, 9));
}

TEST_F(MainDialog, StepListGetsFourTitledColumns) {
  HWND list = GetDlgItem(dialog_, IDC_STEP_LIST);
  kestor::InitStepListColumns(list, {"Update step", "Status", "DevVers", "UpdVers"});
  const std::pair<const char*, int> rows[] = {
      {"Update step", 85}, {"Status", 150}, {"DevVers", 75}, {"UpdVers", 75}};
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  ASSERT_EQ(4, static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)));
  for (int i = 0; i < 4; ++i) {
    char text[64] = "";
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ(rows[i].first, text) << "column " << i;
    EXPECT_EQ(rows[i].second, column.cx) << "column " << i;
    EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK) << "column " << i;
  }
  EXPECT_TRUE(ListView_GetExtendedListViewStyle(list) & LVS_EX_GRIDLINES);
}

TEST(AboutBox, ShowsNameVersionIconAndClosesWithOk) {
  INT_PTR result = 0;
  lm::Thread shower([&] { result = kestor::ShowAboutBox(nullptr); });
  HWND about = WaitForWindow("Info", GetCurrentProcessId());
  ASSERT_NE(nullptr, about);
  EXPECT_EQ("Version 1.28", ControlText(about, IDC_ABOUT_VERSION));
  bool name = false, icon = false;
  for (const ControlInfo& c : Controls(about)) {
    name |= c.text == "Kestor";
    if (c.className == "Static" &&
        (GetWindowLongPtrA(c.handle, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      icon = SendMessageA(c.handle, STM_GETICON, 0, 0) != 0;
  }
  EXPECT_TRUE(name);
  EXPECT_TRUE(icon);
  EXPECT_TRUE(ClickButton(about, IDOK));
  EXPECT_TRUE(shower.Join(testsupport::kUiWaitMs));
  EXPECT_EQ(IDOK, result);
}

}  // namespace
