// The Windows UI test driver: finds top-level windows and message boxes by
// caption and text, reads control texts and states, clicks buttons and
// answers message boxes from a script. It works on windows of this process
// (shown from another thread) and of other processes alike, because it only
// uses window handles and posted or sent messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "lumetra/sync.h"

namespace testsupport {

// How long the driver waits for a window to appear. Generous on purpose: it is
// a wait for something to happen, never a measurement.
constexpr DWORD kUiWaitMs = 30000;

// A visible top-level window whose caption equals `caption` (and, when given,
// that belongs to process `pid`); null after timeoutMs.
HWND WaitForWindow(const std::string& caption, DWORD pid = 0, DWORD timeoutMs = kUiWaitMs);

// A message box (dialog class "#32770") whose caption equals `caption` (empty:
// any) and whose text contains `textPart`; null after timeoutMs.
HWND WaitForMessageBox(const std::string& caption, const std::string& textPart, DWORD pid = 0,
                       DWORD timeoutMs = kUiWaitMs);

// True while the window exists.
bool WindowExists(HWND window);
// Waits until the window is gone; false after timeoutMs.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kUiWaitMs);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
bool ControlEnabled(HWND dialog, int controlId);
bool ControlVisible(HWND dialog, int controlId);
std::string ClassName(HWND window);
// A tree view's items, one line each, indented two blanks a level, " [+]"
// after an expanded item. In the tree's own process only (the item texts
// come back through a pointer).
std::vector<std::string> TreeViewLines(HWND tree);

// True for a message box: a #32770 dialog with the icon control (0x440) and
// the text control (0xFFFF) that MessageBox builds; other dialogs are not.
bool IsMessageBox(HWND window);

// The text of a message box (its static text control).
std::string MessageBoxText(HWND box);

// Presses a button of a dialog by its id, as a click would (BN_CLICKED posted
// to the dialog). False when there is no such enabled button.
bool ClickButton(HWND dialog, int controlId);
// Presses the child button whose text equals `text` ("&Yes", "Start &Update").
bool ClickButtonByText(HWND dialog, const std::string& text);

// Sends a menu or accelerator command to a window (WM_COMMAND, posted).
void PostCommand(HWND window, int commandId);

// All child windows of a dialog in Z order (controls), with id and text.
struct ControlInfo {
  HWND handle;
  int id;
  std::string className;
  std::string text;
  bool visible;
  bool enabled;
};
std::vector<ControlInfo> Controls(HWND dialog);

// One answer of a script: a box whose caption equals `caption` (empty: any)
// and whose text contains `textPart` is answered with button `buttonId`
// (IDOK, IDYES, IDNO, IDCANCEL, ...).
struct ScriptedAnswer {
  std::string caption;
  std::string textPart;
  int buttonId;
};

// What a MessageBoxAnswerer saw and did.
struct AnsweredBox {
  std::string caption;
  std::string text;
  int buttonId;  // 0 when no script line matched and the box was left open
};

// Answers message boxes from a script on a thread of its own, for as long as
// it lives. Each script line answers every matching box; boxes that no line
// matches are recorded with button 0 and answered with the fallback button
// (0: left open). A box without the answering button (OK for a Yes/No
// question) is answered with Cancel or No instead, and recorded so. Only
// boxes of process `pid` are touched; with pid 0, boxes of any process that
// a script line matches, and no others.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(std::vector<ScriptedAnswer> script, DWORD pid = 0,
                              int fallbackButton = 0);
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  std::vector<AnsweredBox> Seen() const;
  // Waits until at least `count` boxes were seen and those answered are
  // gone; false after timeoutMs.
  bool WaitForCount(size_t count, DWORD timeoutMs = kUiWaitMs) const;

 private:
  void Run();

  std::vector<ScriptedAnswer> script_;
  DWORD pid_;
  int fallbackButton_;
  std::atomic<bool> stop_{false};
  mutable lm::CriticalSection mutex_;
  std::vector<AnsweredBox> seen_;
  std::atomic<size_t> settled_{0};  // boxes seen, and gone where answered
  std::vector<HWND> handled_;
  lm::Thread thread_;
};

}  // namespace testsupport
