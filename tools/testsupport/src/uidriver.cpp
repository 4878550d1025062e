#include "testsupport/uidriver.h"

#include <commctrl.h>

#include <algorithm>

namespace testsupport {
namespace {

constexpr DWORD kPollMs = 20;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x440;

struct TopWindowQuery {
  DWORD pid;
  bool dialogsOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM param) {
  auto* q = reinterpret_cast<TopWindowQuery*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (q->pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != q->pid) return TRUE;
  }
  if (q->dialogsOnly && !IsMessageBox(window)) return TRUE;
  q->found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid, bool dialogsOnly) {
  TopWindowQuery q{pid, dialogsOnly, {}};
  EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

template <typename Pred>
HWND PollFor(DWORD timeoutMs, Pred pred) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = pred()) return w;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

}  // namespace

std::string WindowText(HWND window) {
  // WM_GETTEXT works across processes; GetWindowText does not read other
  // processes' controls.
  LRESULT len = SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr)
                    ? SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)
                    : 0;
  std::string text(static_cast<size_t>(len) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &copied))
    return {};
  text.resize(std::min<size_t>(copied, text.size() - 1));
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

namespace {

void AddTreeLines(HWND tree, HTREEITEM item, int depth, std::vector<std::string>& out) {
  for (; item; item = TreeView_GetNextSibling(tree, item)) {
    char text[512] = {};
    TVITEMA tv{};
    tv.mask = TVIF_TEXT | TVIF_STATE;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = sizeof text;
    tv.stateMask = TVIS_EXPANDED;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    out.push_back(std::string(2 * depth, ' ') + text + (tv.state & TVIS_EXPANDED ? " [+]" : ""));
    AddTreeLines(tree, TreeView_GetChild(tree, item), depth + 1, out);
  }
}

}  // namespace

std::vector<std::string> TreeViewLines(HWND tree) {
  std::vector<std::string> out;
  AddTreeLines(tree, TreeView_GetRoot(tree), 0, out);
  return out;
}

HWND WaitForWindow(const std::string& caption, DWORD pid, DWORD timeoutMs) {
  return PollFor(timeoutMs, [&]() -> HWND {
    for (HWND w : TopWindows(pid, false))
      if (WindowText(w) == caption) return w;
    return nullptr;
  });
}

bool IsMessageBox(HWND window) {
  return ClassName(window) == "#32770" && GetDlgItem(window, kMessageBoxIconId) &&
         GetDlgItem(window, kMessageBoxTextId);
}

std::string MessageBoxText(HWND box) {
  if (HWND text = GetDlgItem(box, kMessageBoxTextId)) return WindowText(text);
  std::string longest;
  for (const ControlInfo& c : Controls(box))
    if (c.className == "Static" && c.text.size() > longest.size()) longest = c.text;
  return longest;
}

HWND WaitForMessageBox(const std::string& caption, const std::string& textPart, DWORD pid,
                       DWORD timeoutMs) {
  return PollFor(timeoutMs, [&]() -> HWND {
    for (HWND w : TopWindows(pid, true)) {
      if (!caption.empty() && WindowText(w) != caption) continue;
      if (MessageBoxText(w).find(textPart) != std::string::npos) return w;
    }
    return nullptr;
  });
}

bool WindowExists(HWND window) { return IsWindow(window) != FALSE; }

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

std::string ControlText(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  return control ? WindowText(control) : std::string();
}

bool ControlEnabled(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  return control && IsWindowEnabled(control);
}

bool ControlVisible(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  return control && IsWindowVisible(control);
}

bool ClickButton(HWND dialog, int controlId) {
  HWND button = GetDlgItem(dialog, controlId);
  if (!button || !IsWindowEnabled(button)) return false;
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool ClickButtonByText(HWND dialog, const std::string& text) {
  for (const ControlInfo& c : Controls(dialog))
    if (c.className == "Button" && c.text == text) return ClickButton(dialog, c.id);
  return false;
}

void PostCommand(HWND window, int commandId) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(commandId, 0), 0);
}

std::vector<ControlInfo> Controls(HWND dialog) {
  std::vector<HWND> children;
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
  std::vector<ControlInfo> result;
  for (HWND c : children) {
    if (GetParent(c) != dialog) continue;
    result.push_back({c, GetDlgCtrlID(c), ClassName(c), WindowText(c), IsWindowVisible(c) != FALSE,
                      IsWindowEnabled(c) != FALSE});
  }
  return result;
}

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<ScriptedAnswer> script, DWORD pid,
                                       int fallbackButton)
    : script_(std::move(script)), pid_(pid), fallbackButton_(fallbackButton) {
  thread_.Start([this] { Run(); });
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  stop_ = true;
  thread_.Join(INFINITE);
}

std::vector<AnsweredBox> MessageBoxAnswerer::Seen() const {
  lm::Lock lock(mutex_);
  return seen_;
}

bool MessageBoxAnswerer::WaitForCount(size_t count, DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  for (;;) {
    if (settled_ >= count) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

void MessageBoxAnswerer::Run() {
  while (!stop_) {
    for (HWND box : TopWindows(pid_, true)) {
      {
        lm::Lock lock(mutex_);
        // A handle is remembered while its box lives, so a box left open is
        // recorded once; a closed box's handle may be reused by a new one.
        handled_.erase(
            std::remove_if(handled_.begin(), handled_.end(), [](HWND h) { return !IsWindow(h); }),
            handled_.end());
        if (std::find(handled_.begin(), handled_.end(), box) != handled_.end()) continue;
      }
      // Let the box finish creating its controls before reading them.
      Sleep(kPollMs);
      AnsweredBox seen{WindowText(box), MessageBoxText(box), 0};
      for (const ScriptedAnswer& line : script_) {
        if (!line.caption.empty() && line.caption != seen.caption) continue;
        if (seen.text.find(line.textPart) == std::string::npos) continue;
        seen.buttonId = line.buttonId;
        break;
      }
      if (seen.buttonId == 0) {
        // Without a process to watch, boxes of other programs (other tests
        // running at the same time) are none of this answerer's business.
        if (pid_ == 0) continue;
        seen.buttonId = fallbackButton_;
      }
      {
        lm::Lock lock(mutex_);
        handled_.push_back(box);
        seen_.push_back(seen);
      }
      if (seen.buttonId != 0) {
        // A box without the answer's button (OK for a Yes/No question) would
        // hold its program for good: it gets the button that declines instead.
        bool missing = !GetDlgItem(box, seen.buttonId);
        for (int declining : {IDCANCEL, IDNO})
          if (missing && ControlEnabled(box, declining)) {
            seen.buttonId = declining;
            break;
          }
        {
          lm::Lock lock(mutex_);
          seen_.back().buttonId = seen.buttonId;
        }
        // WaitForCount counts an answered box once it is gone: a test that
        // waited for it never finds it still closing (where a second answerer
        // would answer it again).
        if (ClickButton(box, seen.buttonId)) WaitForWindowGone(box);
      }
      ++settled_;
    }
    Sleep(kPollMs);
  }
}

}  // namespace testsupport
