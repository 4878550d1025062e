// A worker channel that keeps what is posted through it: every message as it
// went (a test may act on one, a cancel at a chosen wait), and the dialog's
// message sequence as lines for an expected file. It forwards to the dialog
// when asked to (a test with Kestor's real window).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "device/worker_channel.h"
#include "lumetra/sync.h"

namespace kestortest {

class RecordingChannel : public WorkerChannel {
 public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };

  explicit RecordingChannel(bool forward) : forward_(forward) {}

  bool Post(UINT message, WPARAM wParam, LPARAM lParam) const override {
    {
      lm::Lock lock(mutex_);
      posted.push_back({message, wParam, lParam});
      lines_.push_back(Line(message, wParam, lParam));
    }
    if (onPost) onPost({message, wParam, lParam});
    return !forward_ || PostToWindow(message, wParam, lParam);
  }
  // The flash library's status comes at the poller's pace: how often, and
  // which of the library's short statuses a poll catches (a fast file may
  // end before the first), depends on the machine. It is forwarded, but is
  // no part of the sequence.
  void PostLibraryStatus(uint32_t status) const override {
    if (forward_) PostToWindow(WM_UPDATE_STEP_PROGRESS, status >> 16, status & 0xFFFF);
  }

  // The message sequence without what depends on the machine's pace: the
  // flash library's status, the step bar's position (the code it shows
  // stays), and a line repeated straight after itself (a wait posts as often
  // as its pace allows) shown once.
  std::string Sequence() const {
    lm::Lock lock(mutex_);
    std::string text;
    std::string last;
    for (const std::string& line : lines_) {
      if (line == last) continue;
      text += line + "\n";
      last = line;
    }
    return text;
  }

  mutable std::vector<Message> posted;
  std::function<void(const Message&)> onPost;

 private:
  static std::string Line(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_UPDATE_TEXTS:
        return "texts";
      case WM_UPDATE_TOTAL_PROGRESS:
        return "total " + std::to_string(wParam) + "/" + std::to_string(lParam);
      case WM_UPDATE_STEP_PROGRESS:
        return "step code " + std::to_string(static_cast<int16_t>(lParam & 0xFFFF));
      case WM_UPDATE_CLOSE:
        return "close";
      case WM_UPDATE_MMI_TIMER:
        return wParam ? "mmi timer " + std::to_string(lParam) + " ms" : "mmi timer off";
      default:
        return "message " + std::to_string(message) + " " + std::to_string(wParam) + " " +
               std::to_string(lParam);
    }
  }

  const bool forward_;
  mutable lm::CriticalSection mutex_;
  mutable std::vector<std::string> lines_;
};

}  // namespace kestortest
