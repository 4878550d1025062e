#include "app/main_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <cstdio>
#include <vector>

#include "config/update_config.h"
#include "device/device_updater.h"
#include "environment/log_writer.h"
#include "environment/system_environment.h"
#include "hwport/clock.h"
#include "resource.h"
#include "state/language_glue.h"
#include "state/process_context.h"
#include "state/shared_values.h"
#include "state/states.h"
#include "ui_texts/dialog_menus.h"

std::string savedTitle = "Kestor";

namespace {

// Which controls show which display slot (the second control of a slot is
// its copy in the details view).
struct SlotControl {
  int slot;
  int control;
};
constexpr SlotControl kSlotControls[] = {
    {1, IDC_UPDATE_BOX},        {2, IDC_SUPP_DEVICE_LABEL}, {3, IDC_SUPP_DEVICE},
    {4, IDC_PACKAGE_REL_LABEL}, {5, IDC_PACKAGE_REL},       {6, IDC_DEVICE_BOX},
    {6, IDC_DET_DEVICE_BOX},    {7, IDC_DEV_TYPE_LABEL},    {7, IDC_DET_TYPE_LABEL},
    {8, IDC_DEV_TYPE},          {8, IDC_DET_TYPE},          {9, IDC_DEV_SERIAL_LABEL},
    {9, IDC_DET_SERIAL_LABEL},  {10, IDC_DEV_SERIAL},       {10, IDC_DET_SERIAL},
    {11, IDC_DEV_REL_LABEL},    {11, IDC_DET_REL_LABEL},    {12, IDC_DEV_REL},
    {12, IDC_DET_REL},          {13, IDC_DEV_STATUS_LABEL}, {13, IDC_DET_STATUS_LABEL},
    {14, IDC_DEV_STATUS},       {14, IDC_DET_STATUS},       {16, IDC_PROGRESS_BOX},
    {17, IDC_STEP_TEXT},        {18, IDC_STEP_LABEL},       {19, IDC_TOTAL_LABEL},
    {20, IDC_SOFTWARE_BOX},     {30, IDC_EXIT_BUTTON}};

// The normal device box and the details view that takes its place.
constexpr int kNormalControls[] = {IDC_DEVICE_BOX,    IDC_DEV_TYPE_LABEL,   IDC_DEV_SERIAL_LABEL,
                                   IDC_DEV_REL_LABEL, IDC_DEV_STATUS_LABEL, IDC_DEV_TYPE,
                                   IDC_DEV_SERIAL,    IDC_DEV_REL,          IDC_DEV_STATUS};
constexpr int kDetailControls[] = {IDC_DET_TYPE_LABEL,   IDC_DET_SERIAL_LABEL, IDC_STEP_LIST,
                                   IDC_DET_DEVICE_BOX,   IDC_SOFTWARE_BOX,     IDC_DET_REL_LABEL,
                                   IDC_DET_STATUS_LABEL, IDC_DET_TYPE,         IDC_DET_SERIAL,
                                   IDC_DET_REL,          IDC_DET_STATUS};

}  // namespace

UpdateManagerDialog::~UpdateManagerDialog() {
  for (HANDLE& thread : stateThreads_) {
    if (thread) CloseHandle(thread);
    thread = nullptr;
  }
  if (titleBitmap_) DeleteObject(titleBitmap_);
}

INT_PTR UpdateManagerDialog::DoModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_KESTOR_DIALOG), nullptr,
                         DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK UpdateManagerDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<UpdateManagerDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->window_ = window;
  }
  auto* self = reinterpret_cast<UpdateManagerDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR UpdateManagerDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_SYSCOMMAND:
      // Commands 16..31: the About item.
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        kestor::ShowAboutBox(window_);
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      if (!IsIconic(window_)) return FALSE;
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_QUERYENDSESSION:
      PostMessageA(window_, WM_UPDATE_SHUTDOWN_REFUSED, 0, 0);
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_SETCURSOR:
      if (!waitCursorActive) return FALSE;
      SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_HELP:
      ShowHelp();
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_TIMER:
      OnDeviceLockupTimer(wParam);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && header->idFrom == IDC_STEP_PROGRESS && header->code == NM_CUSTOMDRAW) {
        SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);  // default drawing
        return TRUE;
      }
      return FALSE;
    }
    case WM_COMMAND:
      return OnCommand(wParam);
  }
  return HandleKestorMessage(message, wParam, lParam);
}

INT_PTR UpdateManagerDialog::HandleKestorMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_UPDATE_SHUTDOWN_REFUSED:
      MessageBoxA(window_, "Shutdown canceled - Please finish the update", kMessageCaption,
                  MB_OK | MB_TOPMOST);
      return TRUE;
    case WM_UPDATE_TEXTS:
      OnUpdateTexts();
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_UPDATE_TOTAL_PROGRESS:
      OnTotalProgress(wParam, lParam);
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_UPDATE_STEP_PROGRESS:
      OnStepProgress(wParam, lParam);
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_UPDATE_CLOSE:
    case WM_UPDATE_EXIT_DONE:
      OnShutdown();
      return TRUE;
    case WM_UPDATE_MMI_TIMER:
      if (wParam)
        SetTimer(window_, IDT_MMI_RESPONSE, static_cast<UINT>(lParam), nullptr);
      else
        KillTimer(window_, IDT_MMI_RESPONSE);
      return TRUE;
  }
  return FALSE;
}

INT_PTR UpdateManagerDialog::OnCommand(WPARAM wParam) {
  if (HIWORD(wParam) != BN_CLICKED && HIWORD(wParam) != 1) return FALSE;
  const int command = LOWORD(wParam);
  switch (command) {
    case IDC_DETAILS_BUTTON:
      ToggleDetails();
      return TRUE;
    case IDC_START_BUTTON:
      try {
        OnStartCancel();
      } catch (...) {
      }
      return TRUE;
    case IDC_EXIT_BUTTON:
      OnExitButton();
      return TRUE;
    case ID_HELP_INFO:
      kestor::ShowAboutBox(window_);
      return TRUE;
    case ID_HELP_HELP:
      ShowHelp();
      return TRUE;
    case IDCANCEL:
      OnCancel();
      return TRUE;
  }
  const int language = kestor::LanguageIndexOfCommand(command);
  if (language >= 0) {
    SwitchLanguage(language);
    return TRUE;
  }
  return FALSE;
}

BOOL UpdateManagerDialog::OnInitDialog() {
  kestor::AddAboutItemToSystemMenu(window_);
  icon_ = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ShowTitleBitmap();
  machine_ = std::make_unique<StateMachine>(context_, MakeStateFactory(context_, outcomes_));
  OnUpdateTexts();
  machine_->SetDialogWindow(window_);
  detailsShown_ = false;
  const DisplayTextsRecord texts = DisplayTexts.Copy();
  kestor::InitStepListColumns(GetDlgItem(window_, IDC_STEP_LIST),
                              {texts.texts[21], texts.texts[22], texts.texts[23], texts.texts[24]});
  std::vector<std::string> languages;
  if (theConfig && theConfig->GetLanguages(languages)) {
    kestor::BuildLanguageMenu(window_, languages);
  }
  SetDlgItemTextA(window_, IDC_DETAILS_BUTTON, texts.texts[SLOT_SHOW_DETAILS].c_str());
  hwport::Sleep(0);
  StartStateThread();
  return TRUE;
}

void UpdateManagerDialog::ShowTitleBitmap() {
  // The title bitmap is stretched over the whole picture control.
  HWND picture = GetDlgItem(window_, IDC_TITLE_BITMAP);
  RECT area;
  if (!picture || !GetClientRect(picture, &area)) return;
  titleBitmap_ =
      static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TITLE),
                                      IMAGE_BITMAP, area.right, area.bottom, LR_DEFAULTCOLOR));
  if (!titleBitmap_) return;
  HGDIOBJ old = reinterpret_cast<HGDIOBJ>(
      SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(titleBitmap_)));
  if (old && old != titleBitmap_) DeleteObject(old);
  SetWindowPos(picture, nullptr, 0, 0, area.right, area.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void UpdateManagerDialog::OnPaint() {
  // Iconic: the icon centred on its erased background.
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(window_, &client);
  const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(window_, &paint);
}

void UpdateManagerDialog::ShowHelp() {
  // A missing help file shows nothing.
  ShellExecuteA(window_, nullptr, "LmHelp.chm", nullptr, ApplicationFolder().c_str(),
                SW_SHOWNORMAL);
}

void UpdateManagerDialog::OnDeviceLockupTimer(UINT_PTR timer) {
  if (KillTimer(window_, timer)) {
    MessageBoxA(window_, "The device did not respond. You can wait or shut down the device",
                kMessageCaption, MB_OK);
  }
}

void UpdateManagerDialog::SwitchLanguage(int index) {
  machine_->SwitchLanguage(index);
  OnUpdateTexts();
}

void UpdateManagerDialog::ToggleDetails() {
  const DisplayTextsRecord texts = DisplayTexts.Copy();
  const int showNormal = detailsShown_ ? SW_SHOW : SW_HIDE;
  const int showDetails = detailsShown_ ? SW_HIDE : SW_SHOW;
  for (int id : kNormalControls) ShowWindow(GetDlgItem(window_, id), showNormal);
  for (int id : kDetailControls) ShowWindow(GetDlgItem(window_, id), showDetails);
  SetDlgItemTextA(window_, IDC_DETAILS_BUTTON,
                  texts.texts[detailsShown_ ? SLOT_SHOW_DETAILS : SLOT_HIDE_DETAILS].c_str());
  detailsShown_ = !detailsShown_;
}

void UpdateManagerDialog::StartStateThread() {
  HANDLE thread = CreateThread(nullptr, 0, StateThreadProc, machine_.get(), 0, nullptr);
  // The first thread starts at initialisation, a second one with Start Update.
  HANDLE& slot = stateThreads_[0] == nullptr ? stateThreads_[0] : stateThreads_[1];
  if (slot) CloseHandle(slot);
  slot = thread;
}

void UpdateManagerDialog::OnUpdateTexts() {
  const DisplayTextsRecord texts = DisplayTexts.Copy();
  for (const SlotControl& s : kSlotControls) {
    SetDlgItemTextA(window_, s.control, texts.texts[s.slot].c_str());
  }
  SetDlgItemTextA(window_, IDC_START_BUTTON, texts.texts[SLOT_START_BUTTON].c_str());
  EnableWindow(GetDlgItem(window_, IDC_START_BUTTON), texts.startEnabled);
  SetDlgItemTextA(window_, IDC_DETAILS_BUTTON,
                  texts.texts[detailsShown_ ? SLOT_HIDE_DETAILS : SLOT_SHOW_DETAILS].c_str());
  savedTitle = texts.texts[SLOT_TITLE];
  const int position =
      static_cast<int>(SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_GETPOS, 0, 0));
  const std::string title =
      position < 1 ? savedTitle : "(" + std::to_string(position) + "%) " + savedTitle;
  SetWindowTextA(window_, title.c_str());
  RefreshStepList();
}

void UpdateManagerDialog::RefreshStepList() {
  if (theConfig == nullptr) return;
  HWND list = GetDlgItem(window_, IDC_STEP_LIST);
  const int steps = theConfig->StepCount();
  if (ListView_GetItemCount(list) == 0) {
    for (int i = 0; i < steps; ++i) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = i;
      item.pszText = const_cast<char*>("");
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
  for (int i = 0; i < steps; ++i) {
    const StepRow row = theConfig->GetStepRow(i);
    const std::string* columns[] = {&row.name, &row.status, &row.deviceVersion, &row.rev};
    for (int c = 0; c < 4; ++c) {
      LVITEMA item{};
      item.iSubItem = c;
      item.pszText = const_cast<char*>(columns[c]->c_str());
      SendMessageA(list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
    }
  }
  UpdateWindow(list);
}

void UpdateManagerDialog::OnTotalProgress(WPARAM position, LPARAM range) {
  const std::string title = "(" + std::to_string(position) + "%) " + savedTitle;
  SetWindowTextA(window_, title.c_str());
  SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_SETRANGE32, 0, range);
  SendDlgItemMessageA(window_, IDC_TOTAL_PROGRESS, PBM_SETPOS, position, 0);
}

void UpdateManagerDialog::OnStepProgress(WPARAM progress, LPARAM code) {
  SendDlgItemMessageA(window_, IDC_STEP_PROGRESS, PBM_SETRANGE32, 0, 10000);
  SendDlgItemMessageA(window_, IDC_STEP_PROGRESS, PBM_SETPOS, progress, 0);
  const int status = static_cast<short>(LOWORD(code));
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.2f ", static_cast<double>(progress) * 0.01);
  if (theConfig == nullptr) return;
  const std::string text = theConfig->StatusTextTable.StepText(status) + " ( " + percent + " %) ";
  SetDlgItemTextA(window_, IDC_STEP_TEXT, text.c_str());
}

void UpdateManagerDialog::OnStartCancel() {
  switch (CancelState()) {
    case CANCEL_STATE_RUNNING:
      if (MessageBoxA(window_, "Do you really want to cancel the Update?Warning!", kMessageCaption,
                      MB_YESNO) == IDYES) {
        SetCancelState(CANCEL_STATE_REQUESTED);
        SetDlgItemTextA(window_, IDC_DEV_STATUS, "Cancel in Progress! Waiting for safepoint!!");
      }
      break;
    case CANCEL_STATE_REQUESTED:
      MessageBoxA(window_, "Cancel in Progress, waiting for safe cancelpoint!", kMessageCaption,
                  MB_OK);
      break;
    case CANCEL_STATE_IDLE:
      // Only a machine resting in Update Possible is started; the Exit button
      // may have taken it already.
      if (machine_->LeaveRest(STATE_UPDATE_POSSIBLE, STATE_UPDATE_PROCESS)) {
        SetCancelState(CANCEL_STATE_RUNNING);
        StartStateThread();
      }
      break;
    default:
      break;
  }
}
