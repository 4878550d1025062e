#include "event_queue.h"

#include <algorithm>

namespace corvel {

bool EventQueue::QueueLocked(const DeviceEvent& event) {
  if (events_.size() >= kCapacity) return false;
  if (std::find(events_.begin(), events_.end(), event) != events_.end()) return false;
  events_.push_back(event);
  return true;
}

bool EventQueue::QueueEvent(const DeviceEvent& event) {
  lm::Lock lock(lock_);
  return QueueLocked(event);
}

size_t EventQueue::Size() {
  lm::Lock lock(lock_);
  return events_.size();
}

bool EventQueue::TakeOldest(DeviceEvent* out) {
  lm::Lock lock(lock_);
  if (events_.empty()) return false;
  *out = events_.front();
  events_.pop_front();
  return true;
}

bool EventQueue::TakeMatchingEvent(uint16_t id, uint32_t lParam, uint32_t wParam) {
  if (lParam == 0 && wParam == 0) return false;
  lm::Lock lock(lock_);
  auto match = std::find_if(events_.begin(), events_.end(), [&](const DeviceEvent& e) {
    return e.EventId == id && (lParam == 0 || e.lParam == lParam) &&
           (wParam == 0 || e.wParam == wParam);
  });
  if (match == events_.end()) return false;
  events_.erase(match);
  return true;
}

void EventQueue::Clear() {
  lm::Lock lock(lock_);
  events_.clear();
}

void EventQueue::Absorb(EventQueue& other) {
  if (&other == this) return;
  std::deque<DeviceEvent> taken;
  {
    lm::Lock lock(other.lock_);
    taken.swap(other.events_);
  }
  lm::Lock lock(lock_);
  for (const DeviceEvent& e : taken) QueueLocked(e);
}

}  // namespace corvel
