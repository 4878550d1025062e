#include "form_binprog.h"

#include <commctrl.h>

#include "loging.h"
#include "lumetra/module.h"
#include "tessaro/command_names.h"
#include "tessaro/device.h"
#include "tessaro/errors.h"
#include "tessaro/flash_settings.h"
#include "tessaro/main_thread.h"
#include "tessaro/plugins.h"
#include "tessaro/program_status.h"
#include "tessaro/supply_modules.h"
#include "tessaro/text_utils.h"
#include "tessaro/utilities.h"

namespace tessaro {

namespace {

constexpr char kClassName[] = "TFormBinProg";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kAboutCommand = 0x0110;  // system-menu ids keep the low four bits clear
constexpr char kMessageCaption[] = "Tessaro";

// The form whose keys the thread hook watches: a hook procedure is given no
// context of its own.
TFormBinProg* g_keyForm = nullptr;

HINSTANCE CodeModule() { return lm::ModuleOf(reinterpret_cast<const void*>(&CodeModule)); }

struct ControlSpec {
  int id;
  const char* className;
  const char* text;
  DWORD style;
  int x, y, w, h;
};

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kList = kChild | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
const DWORD kMemo = kChild | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

const ControlSpec kControls[] = {
    {IDC_PANEL_FILE_NAME, "STATIC", "here must be binaryfilename",
     kChild | SS_NOTIFY | SS_SUNKEN | SS_CENTER, 8, 8, 870, 22},
    {IDC_TEST_SER_NB, "EDIT", "0123456789", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, 680, 9, 196, 20},
    {IDC_GB_FLASH, "BUTTON", "  &Flash (selected flash, setting addresses, banks)  ",
     kChild | BS_GROUPBOX, 8, 36, 430, 300},
    {IDC_CB_FLASHES, "COMBOBOX", "", kChild | WS_VSCROLL | CBS_DROPDOWN, 16, 56, 200, 200},
    {IDC_L_FLASH, "STATIC", "Manufacture ID 0xXX    Device ID 0xXX", kChild, 224, 59, 206, 18},
    {IDC_BASE_FLASH, "EDIT", "", kChild | WS_BORDER | ES_READONLY, 16, 84, 200, 20},
    {IDC_SECTOR_ADDRESS, "EDIT", "", kChild | WS_BORDER | ES_READONLY, 224, 84, 200, 20},
    {IDC_LB_FLASH, "LISTBOX", "", kList | LBS_EXTENDEDSEL, 16, 110, 388, 218},
    {IDC_SCROLL_FLASH, "SCROLLBAR", "", kChild | SBS_VERT, 408, 110, 18, 218},
    {IDC_GB_SEL_USB_DEV, "BUTTON",
     " [for dir. programing]      Selected UsbDevice     [for create binary/text programing "
     "file] ",
     kChild | BS_GROUPBOX, 446, 36, 432, 300},
    {IDC_VID, "EDIT", "0xFFFF", kChild | WS_BORDER | ES_READONLY, 454, 56, 80, 20},
    {IDC_PID, "EDIT", "0xFFFF", kChild | WS_BORDER | ES_READONLY, 540, 56, 80, 20},
    {IDC_VER_LABEL, "STATIC", "Binary file Version.:", kChild, 628, 59, 120, 18},
    {IDC_VER, "EDIT", "?.????????", kChild | WS_BORDER | ES_READONLY, 750, 56, 120, 20},
    {IDC_LB_COMMANDS, "LISTBOX", "", kList | LBS_EXTENDEDSEL, 454, 84, 250, 150},
    {IDC_SCROLL_COMMANDS, "SCROLLBAR", "", kChild | SBS_VERT, 706, 84, 18, 150},
    {IDC_LB_SUPPORTED_FWS, "LISTBOX", "", kList, 730, 84, 140, 150},
    {IDC_TV_USB_DEV, WC_TREEVIEWA, "", kChild | WS_BORDER | TVS_HASLINES, 454, 240, 416, 88},
    {IDC_LB_PROGRAM_BLOCKS, "LISTBOX", "", kList | LBS_EXTENDEDSEL, 8, 344, 850, 100},
    {IDC_SCROLL_PROGRAM_BLOCKS, "SCROLLBAR", "", kChild | SBS_VERT, 860, 344, 18, 100},
    {IDC_MEMO_MSG, "EDIT", "", kMemo, 8, 452, 430, 160},
    {IDC_MEMO_INFO, "EDIT", "", kMemo, 446, 452, 432, 160},
    {IDC_PROGRESS_BAR, PROGRESS_CLASSA, "", kChild, 8, 620, 870, 16},
    {IDC_SB_DLL, STATUSCLASSNAMEA, "", WS_CHILD | CCS_NOPARENTALIGN | CCS_NORESIZE, 8, 640, 870,
     20},
    {IDC_STATUS_BAR, STATUSCLASSNAMEA, "", kChild, 0, 0, 0, 0},
};

bool RegisterFormClass(HINSTANCE module, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExA(module, kClassName, &wc)) return true;
  wc = WNDCLASSEXA{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = module;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  return RegisterClassExA(&wc) != 0;
}

}  // namespace

TFormBinProg* TFormBinProg::CreateSelfDestroying(TFormBinProg** reference) {
  TFormBinProg* form = new TFormBinProg();
  form->reference_ = reference;
  if (!form->CreateWindowAndControls()) {
    delete form;
    return nullptr;
  }
  // Only a form with its window is handed out: a failed one is freed here,
  // and no WM_DESTROY comes to clear a reference it left behind.
  if (reference) *reference = form;
  return form;
}

// The controls with their font, the hints' tooltip, the lists attached to
// their controls and the texts they start with.
void TFormBinProg::CreateControls(HINSTANCE module) {
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (const ControlSpec& c : kControls) {
    HWND h = CreateWindowExA(0, c.className, c.text, c.style, c.x, c.y, c.w, c.h, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), module, nullptr);
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  SendMessageA(Control(IDC_PROGRESS_BAR), PBM_SETRANGE32, 0, 100);
  SendMessageA(Control(IDC_MEMO_MSG), EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  SendMessageA(Control(IDC_MEMO_INFO), EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, module,
                             nullptr);
  info_.Attach(Control(IDC_MEMO_INFO));
  messages_.Attach(Control(IDC_MEMO_MSG));
  commands_.Attach(Control(IDC_LB_COMMANDS), true);
  versions_.Attach(Control(IDC_LB_SUPPORTED_FWS), false);
  sectors_.Attach(Control(IDC_LB_FLASH), true);
  blocks_.Attach(Control(IDC_LB_PROGRAM_BLOCKS), true);
  messages_.Add("*****   M e s s a g e   W i n d o w   *****");
  info_.Add("*****   I n f o   W i n d o w   *****");
  SetText(IDC_CB_FLASHES, "Select FLASH");
  SetHint(IDC_CB_FLASHES, "Select flash from the list");
  SetHint(IDC_LB_FLASH, "Bank no.: StartAddress, EndAddress (Size) of Bank");
  SetHint(IDC_LB_COMMANDS, "List of commands for control of binary/text file");
  SetHint(IDC_LB_SUPPORTED_FWS, "List of supported FWs");
  SetHint(IDC_TV_USB_DEV, "List of UsbDevices");
}

bool TFormBinProg::CreateWindowAndControls() {
  INITCOMMONCONTROLSEX icc{
      sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  HINSTANCE module = CodeModule();
  if (!RegisterFormClass(module, &TFormBinProg::WindowProc)) return false;
  RECT r{0, 0, 886, 690};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  window_ = CreateWindowExA(0, kClassName, kFormCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                            module, this);
  if (!window_) return false;
  CreateControls(module);

  // What the form binds it also empties when it goes.
  if (TLoging* logger = GlobalLogger()) {
    logger->BindHook(LogHooks().job);
    logger->BindHook(LogHooks().programFile);
    logger->BindHook(LogHooks().supply);
    logger->BindHook(LogHooks().plugin);
    // Devices made while the form exists write their transfers as "D" lines.
    logger->BindDiagnosticHook(TDevice::DefaultLog());
  }
  HMENU system = GetSystemMenu(window_, FALSE);
  AppendMenuA(system, MF_STRING, kAboutCommand, "About application");
  ProgramFileHeader& header = Records().header;
  header.formatMajor = kFormatMajor;
  header.formatMinor = kFormatMinor;
  header.Reset();
  LibraryJob().Attach(this);
  LeaveVid();
  LeavePid();
  LeaveVersion();

  g_keyForm = this;
  keyHook_ =
      SetWindowsHookExA(WH_GETMESSAGE, &TFormBinProg::KeyHook, nullptr, GetCurrentThreadId());
  return true;
}

TFormBinProg::~TFormBinProg() {
  LibraryJob().Detach(this);
  if (keyHook_) UnhookWindowsHookEx(keyHook_);
  if (g_keyForm == this) g_keyForm = nullptr;
  if (window_) DestroyWindow(window_);
  UnregisterClassA(kClassName, CodeModule());
  Records().flashes.Clear();
  LogHooks().job.Clear();
  LogHooks().programFile.Clear();
  LogHooks().supply.Clear();
  LogHooks().plugin.Clear();
  TDevice::DefaultLog().Clear();
}

bool TFormBinProg::Showing() const { return window_ && IsWindowVisible(window_); }

void TFormBinProg::Show() {
  if (!window_) return;
  info_.Flush();
  messages_.Flush();
  ShowWindow(window_, SW_SHOW);
  SyncScrollBar(IDC_SCROLL_FLASH, sectors_);
  SyncScrollBar(IDC_SCROLL_PROGRAM_BLOCKS, blocks_);
}

void TFormBinProg::Hide() {
  if (window_) ShowWindow(window_, SW_HIDE);
}

bool TFormBinProg::AskClose() {
  // Yes keeps the window: the question asks whether to go on with it.
  int answer = MessageBoxA(window_,
                           "Now isn't good to close the aplication window!\r\nDo you want "
                           "continue in the application?",
                           "Confirm", MB_YESNO | MB_ICONQUESTION);
  return answer == IDYES;
}

bool TFormBinProg::Close() {
  if (!window_ || JobRunning()) return false;
  if (Showing() && AskClose()) return false;
  // Only a close that goes ahead gives up the form's reference.
  DestroyWindow(window_);
  return true;
}

void TFormBinProg::CommandsStarted() {
  SetTimer(window_, kTimerId, 20, nullptr);
  ShowWindow(Control(IDC_SB_DLL), SW_SHOW);
  // Nobody reads a hidden window's text while the job runs: it is filled
  // when the window is shown (at the job's end too when it is showing then).
  if (!Showing()) {
    info_.Defer();
    messages_.Defer();
  }
}

void TFormBinProg::CommandsEnded(bool ok) {
  // A hidden window's text waits for Show: filling it costs seconds after a
  // long job (every transfer dump is many lines), and nobody sees it meanwhile.
  if (Showing()) {
    info_.Flush();
    messages_.Flush();
  }
  KillTimer(window_, kTimerId);
  OnTimer();
  // After a failure the line keeps showing the last status.
  if (ok) ShowWindow(Control(IDC_SB_DLL), SW_HIDE);
}

int32_t TFormBinProg::LogFileAction(uint16_t what) {
  TLoging* logger = GlobalLogger();
  switch (what) {
    case 1:
      return logger && logger->OpenLogInViewer() ? -1 : 0;
    case 2:
      return logger && logger->DeleteLog() ? -1 : 0;
    default:
      MessageBoxA(nullptr, FormatText("Unknon parameter %d in function LogFile()", {what}).c_str(),
                  kMessageCaption, MB_OK);
      return 0;
  }
}

std::string TFormBinProg::JobStatusText(uint32_t statusWord) {
  int code = static_cast<int16_t>(statusWord & 0xFFFF);
  bool ok = code >= 0;
  if (!ok) code = -code;
  std::string text = std::string(ok ? "OK, " : "ERROR, ") +
                     (code <= kLastCommandCode ? ProgramCommandName(code) : "???");
  unsigned progress = statusWord >> 16;
  return FormatText("What: %d \"%s\", Status: %d (%f%%)", {code, text, progress, progress / 100.0});
}

void TFormBinProg::OnTimer() {
  std::string text = JobStatusText(ProgramingState::StatusWord());
  SendMessageA(Control(IDC_SB_DLL), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TFormBinProg::ShowMessage(const std::string& text) {
  MessageBoxA(Showing() ? window_ : nullptr, text.c_str(), kMessageCaption, MB_OK);
}

void TFormBinProg::Log(TStrings* list, const std::string& format,
                       std::initializer_list<FormatArg> args) {
  if (LogHooks().job.Bound())
    LogHooks().job(list, format, args);
  else if (list)
    list->Add(FormatText(format, args));
}

void TFormBinProg::SyncScrollBar(int barId, TListBoxLines& list) {
  HWND bar = Control(barId);
  int low = 0, high = 0;
  GetScrollRange(bar, SB_CTL, &low, &high);
  if (high != list.Count()) SetScrollRange(bar, SB_CTL, 0, list.Count(), TRUE);
  SendMessageA(list.Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(GetScrollPos(bar, SB_CTL)), 0);
}

void TFormBinProg::ScrollList(int barId, int code) {
  HWND bar = Control(barId);
  TListBoxLines* list = barId == IDC_SCROLL_FLASH      ? &sectors_
                        : barId == IDC_SCROLL_COMMANDS ? &commands_
                                                       : &blocks_;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  GetScrollInfo(bar, SB_CTL, &si);
  int pos = si.nPos;
  switch (code) {
    case SB_LINEUP:
      --pos;
      break;
    case SB_LINEDOWN:
      ++pos;
      break;
    case SB_PAGEUP:
      pos -= 10;
      break;
    case SB_PAGEDOWN:
      pos += 10;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      pos = si.nTrackPos;
      break;
    default:
      break;
  }
  if (pos < si.nMin) pos = si.nMin;
  if (pos > si.nMax) pos = si.nMax;
  SetScrollPos(bar, SB_CTL, pos, TRUE);
  SyncScrollBar(barId, *list);
}

void TFormBinProg::SetText(int id, const std::string& text) {
  SetWindowTextA(Control(id), text.c_str());
}

std::string TFormBinProg::Text(int id) const {
  HWND h = Control(id);
  int n = GetWindowTextLengthA(h);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  GetWindowTextA(h, &text[0], n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

void TFormBinProg::SetHint(int id, const std::string& text) {
  if (!tooltip_) return;
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = window_;
  ti.uId = reinterpret_cast<UINT_PTR>(Control(id));
  ti.lpszText = const_cast<char*>(text.c_str());
  SendMessageA(tooltip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

LRESULT CALLBACK TFormBinProg::KeyHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE && g_keyForm && g_keyForm->window_) {
    const MSG* m = reinterpret_cast<const MSG*>(lParam);
    HWND form = g_keyForm->window_;
    if (m->message == WM_KEYDOWN && (m->hwnd == form || IsChild(form, m->hwnd))) {
      // The form sees keys before its controls.
      if (m->wParam == VK_ESCAPE) SetStopRequested(true);
      if (m->wParam == VK_RETURN) {
        int id = GetDlgCtrlID(m->hwnd);
        if (id == IDC_VID) g_keyForm->LeaveVid();
        if (id == IDC_PID) g_keyForm->LeavePid();
        if (id == IDC_TEST_SER_NB) g_keyForm->serialEntered_ = true;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK TFormBinProg::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form =
        static_cast<TFormBinProg*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->window_ = window;
  }
  auto* form = reinterpret_cast<TFormBinProg*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!form) return DefWindowProcA(window, message, wParam, lParam);
  return form->Handle(message, wParam, lParam);
}

LRESULT TFormBinProg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  switch (message) {
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      if (id == IDC_PANEL_FILE_NAME && code == STN_CLICKED) ManualProgramming();
      if (id == IDC_CB_FLASHES && code == CBN_SELCHANGE) FlashesChange();
      if (code == EN_KILLFOCUS) {
        if (id == IDC_VID) LeaveVid();
        if (id == IDC_PID) LeavePid();
        if (id == IDC_VER) LeaveVersion();
      }
      if (id == IDCANCEL) SetStopRequested(true);
      return 0;
    }
    case WM_VSCROLL:
      if (lParam) ScrollList(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kTimerId) OnTimer();
      return 0;
    case WM_SIZE:
      SendMessageA(Control(IDC_STATUS_BAR), WM_SIZE, 0, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kAboutCommand) {
        MessageBoxA(window, "Tessaro Glintor v1.1\r\nFlash programming library",
                    "About application", MB_OK | MB_ICONINFORMATION);
        return 0;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      KillTimer(window, kTimerId);
      // Without its controls the window cannot show a job any more.
      LibraryJob().Detach(this);
      if (reference_ && *reference_ == this) *reference_ = nullptr;
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace tessaro
