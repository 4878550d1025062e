#include "tessaro/run_events.h"

#include <windows.h>

#include <atomic>

namespace tessaro {
namespace {

// The job's view while the library's job lives: the units below the run have
// no run to hand it to them, and the boxes they show must not wait for one.
std::atomic<RunEvents*> g_events{nullptr};

}  // namespace

int BoxEvents::Ask(const Question& q) {
  HWND owner = q.owner == BoxOwner::kActiveWindow ? GetActiveWindow() : nullptr;
  return MessageBoxA(owner, q.text.c_str(), q.caption.c_str(), q.flags);
}

int LibraryAsk(const Question& question) {
  if (RunEvents* events = g_events.load()) return events->Ask(question);
  BoxEvents boxes;
  return boxes.Ask(question);
}
void SetLibraryEvents(RunEvents* events) { g_events = events; }

}  // namespace tessaro
