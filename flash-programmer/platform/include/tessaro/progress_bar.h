// The job's one progress display: its maximum and position, shown by `show`.
// The interpreter, the flash operations, the waits and the plug-in helper all
// move the same display, and the status word's progress is read from it.
#pragma once

#include <functional>
#include <utility>

namespace tessaro {

class ProgressBar {
 public:
  explicit ProgressBar(std::function<void(int position, int maximum)> show = {})
      : show_(std::move(show)) {}
  void SetMaximum(int maximum) {
    maximum_ = maximum;
    Show();
  }
  void SetPosition(int position) {
    position_ = position;
    Show();
  }
  int Maximum() const { return maximum_; }
  int Position() const { return position_; }

 private:
  void Show() {
    if (show_) show_(position_, maximum_);
  }
  std::function<void(int, int)> show_;
  int maximum_ = 100;
  int position_ = 0;
};

}  // namespace tessaro
