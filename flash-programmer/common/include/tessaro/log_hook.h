// Text lists and the log hook. A unit holds a hook and logs through it; the
// logger fills the hook when it binds it. An empty hook logs nothing.
#pragma once

#include <string>
#include <vector>

#include "tessaro/format_text.h"

namespace tessaro {

// A list of text lines to which log lines can be appended (the form's Info or
// Message list, or a plain list in memory).
class TStrings {
 public:
  virtual ~TStrings() = default;
  virtual void Add(const std::string& line) = 0;
  virtual void Clear() = 0;
};

class TStringList : public TStrings {
 public:
  void Add(const std::string& line) override { lines_.push_back(line); }
  void Clear() override { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// A list handed on in one role. An operation that writes to two lists takes
// them as two distinct role types: the form's lists are all of one type, and a
// call that swapped them would otherwise compile and log to the wrong window.
template <class List, class Role>
class RoleList {
 public:
  RoleList() = default;
  explicit RoleList(List* list) : list_(list) {}
  operator List*() const { return list_; }
  List* operator->() const { return list_; }

 private:
  List* list_ = nullptr;
};

// The list that takes the lines of each transfer with the device.
using TransferList = RoleList<TStrings, struct TransferRole>;

struct LogHook {
  // Writes one formatted line (without prefix) and appends it, with the
  // prefix, to `list` when given.
  using Method = void (*)(void* object, const std::string& text, TStrings* list);

  Method method = nullptr;
  void* object = nullptr;

  bool Bound() const { return method != nullptr; }
  void Clear() {
    method = nullptr;
    object = nullptr;
  }
  void operator()(TStrings* list, const std::string& format,
                  std::initializer_list<FormatArg> args = {}) const {
    if (method) method(object, FormatText(format, args), list);
  }
};

// The library's log hooks, one per unit that logs through a hook of its own.
// The form binds them to the logger while it lives; the library's context
// empties them all in one place when it goes.
struct LibraryLogHooks {
  LogHook job;          // the job's and the form's "M" lines
  LogHook programFile;  // the program-file reader ("[ProgramingCtrls]")
  LogHook supply;       // the supply's module table
  LogHook plugin;       // the plug-ins and device control ("[UsbDevCtrl] ")
  LogHook flash;        // the flash operations
  void Clear() { *this = LibraryLogHooks(); }
};
LibraryLogHooks& LogHooks();

}  // namespace tessaro
