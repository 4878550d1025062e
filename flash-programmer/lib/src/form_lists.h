// Line lists over the form's controls: list boxes for the selectable lists,
// read-only multi-line edits for the Message and Info windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tessaro/line_lists.h"

namespace tessaro {

class TListBoxLines : public TSelectableList {
 public:
  void Attach(HWND listBox, bool multiSelect) {
    box_ = listBox;
    multi_ = multiSelect;
  }
  HWND Handle() const { return box_; }
  void Add(const std::string& line) override;
  void Clear() override;
  int Count() const override;
  std::string Line(int index) const override;
  void SetLine(int index, const std::string& line) override;
  void DeleteLast() override;
  bool Selected(int index) const override;
  void SetSelected(int index, bool selected) override;

 private:
  HWND box_ = nullptr;
  bool multi_ = true;
};

// The edit's text mirrored line by line, so that appending stays cheap and a
// wait can rewrite the last line.
class TMemoLines : public TLineList {
 public:
  void Attach(HWND edit) { edit_ = edit; }
  void Add(const std::string& line) override;
  void Clear() override;
  int Count() const override { return static_cast<int>(lines_.size()); }
  std::string Line(int index) const override;
  void SetLine(int index, const std::string& line) override;
  void DeleteLast() override;
  const std::vector<std::string>& Lines() const { return lines_; }

  // While deferred, lines change in memory only; Flush shows them at once.
  // A hidden window's edit costs a job more than the job itself.
  void Defer() { deferred_ = true; }
  void Flush();
  static constexpr size_t kShownLines = 2000;

 private:
  void ShowAll();
  HWND edit_ = nullptr;
  std::vector<std::string> lines_;
  bool deferred_ = false;
  bool dirty_ = false;
};

}  // namespace tessaro
