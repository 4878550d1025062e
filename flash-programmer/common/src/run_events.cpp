#include "tessaro/run_events.h"

#include <windows.h>

#include "tessaro/library_parts.h"

namespace tessaro {

int BoxEvents::Ask(const Question& q) {
  HWND owner = q.owner == BoxOwner::kActiveWindow ? GetActiveWindow() : nullptr;
  return MessageBoxA(owner, q.text.c_str(), q.caption.c_str(), q.flags);
}

void EventLines::Add(const std::string& line) {
  if (!events_) return;
  events_->LogLine(line);
  ++added_;
}

int LibraryAsk(const Question& question) {
  if (RunEvents* events = Parts().events.load()) return events->Ask(question);
  BoxEvents boxes;
  return boxes.Ask(question);
}

// The job's view while the library's job lives: the units below the run have
// no run to hand it to them, and the boxes they show must not wait for one.
void SetLibraryEvents(RunEvents* events) { Parts().events = events; }

}  // namespace tessaro
