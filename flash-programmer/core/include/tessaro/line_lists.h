// Line lists the library's operations work on: editable lines (a log window
// whose last line a wait rewrites) and selectable lines (the form's sector,
// block and command lists, whose selection is the set a job works on). The
// form backs them with its controls; tests and native builds with memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessaro/log_hook.h"

namespace tessaro {

// The growable array of selected indexes.
using TArrayOfInteger = std::vector<int32_t>;

class TLineList : public TStrings {
 public:
  virtual int Count() const = 0;
  virtual std::string Line(int index) const = 0;
  virtual void SetLine(int index, const std::string& line) = 0;
  // Takes the last line away; nothing happens to an empty list.
  virtual void DeleteLast() = 0;
};

class TSelectableList : public TLineList {
 public:
  virtual bool Selected(int index) const = 0;
  virtual void SetSelected(int index, bool selected) = 0;
  void SelectAll() {
    for (int i = 0; i < Count(); ++i) SetSelected(i, true);
  }
};

// The last `count` lines become this one line (a wait rewrites its line in
// place); nothing happens while the list holds fewer.
void ReplaceLastLines(TLineList& list, int count, const std::string& line);

// The list that takes an operation's own lines (a wait rewrites its last one).
using LogList = RoleList<TLineList, struct LogRole>;

// Lines in memory.
class TMemoryLines : public TSelectableList {
 public:
  void Add(const std::string& line) override {
    lines_.push_back(line);
    selected_.push_back(false);
  }
  void Clear() override {
    lines_.clear();
    selected_.clear();
  }
  int Count() const override { return static_cast<int>(lines_.size()); }
  std::string Line(int index) const override { return Valid(index) ? lines_[index] : ""; }
  void SetLine(int index, const std::string& line) override {
    if (Valid(index)) lines_[index] = line;
  }
  void DeleteLast() override {
    if (lines_.empty()) return;
    lines_.pop_back();
    selected_.pop_back();
  }
  bool Selected(int index) const override { return Valid(index) && selected_[index]; }
  void SetSelected(int index, bool selected) override {
    if (Valid(index)) selected_[index] = selected;
  }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  std::vector<std::string> lines_;
  std::vector<bool> selected_;
};

// Selects entry values[i] for i = 0..highest (values ascending); nothing is
// deselected. Nothing happens when highest is below 0.
void SelectListEntries(const TArrayOfInteger& values, int highest, TSelectableList& list);

// The indexes of the selected entries, ascending.
void SelectedListEntries(const TSelectableList& list, TArrayOfInteger& values);

}  // namespace tessaro
