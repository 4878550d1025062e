#include "form_lists.h"

namespace tessaro {

void TListBoxLines::Add(const std::string& line) {
  SendMessageA(box_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void TListBoxLines::Clear() { SendMessageA(box_, LB_RESETCONTENT, 0, 0); }

int TListBoxLines::Count() const {
  LRESULT n = SendMessageA(box_, LB_GETCOUNT, 0, 0);
  return n < 0 ? 0 : static_cast<int>(n);
}

std::string TListBoxLines::Line(int index) const {
  LRESULT n = SendMessageA(box_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == LB_ERR) return {};
  std::string text(static_cast<size_t>(n) + 1, '\0');
  SendMessageA(box_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(n));
  return text;
}

void TListBoxLines::SetLine(int index, const std::string& line) {
  if (index < 0 || index >= Count()) return;
  bool selected = Selected(index);
  SendMessageA(box_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  SendMessageA(box_, LB_INSERTSTRING, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(line.c_str()));
  SetSelected(index, selected);
}

void TListBoxLines::DeleteLast() {
  int n = Count();
  if (n > 0) SendMessageA(box_, LB_DELETESTRING, static_cast<WPARAM>(n - 1), 0);
}

bool TListBoxLines::Selected(int index) const {
  if (multi_) return SendMessageA(box_, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
  return SendMessageA(box_, LB_GETCURSEL, 0, 0) == index;
}

void TListBoxLines::SetSelected(int index, bool selected) {
  if (index < 0 || index >= Count()) return;
  if (multi_)
    SendMessageA(box_, LB_SETSEL, selected, index);
  else if (selected)
    SendMessageA(box_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  else if (Selected(index))
    SendMessageA(box_, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void TMemoLines::Add(const std::string& line) {
  std::string piece = lines_.empty() ? line : "\r\n" + line;
  lines_.push_back(line);
  if (deferred_) {
    dirty_ = true;
    return;
  }
  int end = GetWindowTextLengthA(edit_);
  SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
}

void TMemoLines::Clear() {
  lines_.clear();
  dirty_ = false;
  SetWindowTextA(edit_, "");
}

void TMemoLines::ShowAll() {
  // The window shows the last lines of a long job; all of them stay in the
  // list (and in the logs).
  size_t first = lines_.size() > kShownLines ? lines_.size() - kShownLines : 0;
  std::string text;
  for (size_t i = first; i < lines_.size(); ++i) text += (i > first ? "\r\n" : "") + lines_[i];
  SetWindowTextA(edit_, text.c_str());
  SendMessageA(edit_, EM_SETSEL, text.size(), static_cast<LPARAM>(text.size()));
  SendMessageA(edit_, EM_SCROLLCARET, 0, 0);
}

void TMemoLines::Flush() {
  deferred_ = false;
  if (dirty_) ShowAll();
  dirty_ = false;
}

std::string TMemoLines::Line(int index) const {
  return index >= 0 && index < Count() ? lines_[static_cast<size_t>(index)] : std::string();
}

void TMemoLines::SetLine(int index, const std::string& line) {
  if (index < 0 || index >= Count()) return;
  if (deferred_) {
    lines_[static_cast<size_t>(index)] = line;
    dirty_ = true;
    return;
  }
  if (index == Count() - 1) {
    // The waits rewrite the last line on every round: replace it alone
    // instead of the whole text.
    int end = GetWindowTextLengthA(edit_);
    int start = end - static_cast<int>(lines_.back().size());
    lines_.back() = line;
    SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(start < 0 ? 0 : start), end);
    SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    return;
  }
  lines_[static_cast<size_t>(index)] = line;
  ShowAll();
}

void TMemoLines::DeleteLast() {
  if (lines_.empty()) return;
  if (deferred_) {
    lines_.pop_back();
    dirty_ = true;
    return;
  }
  // The edit ends with the last line and the line break before it.
  int end = GetWindowTextLengthA(edit_);
  int start = end - static_cast<int>(lines_.back().size()) - (lines_.size() > 1 ? 2 : 0);
  lines_.pop_back();
  SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(start < 0 ? 0 : start), end);
  SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

}  // namespace tessaro
