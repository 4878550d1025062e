// The events of one device's interrupt pipe, queued for all sessions of the
// device: in arrival order, at most 511, no two identical.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "lumetra/sync.h"

namespace corvel {

// One event of the device's interrupt pipe.
struct DeviceEvent {
  uint16_t EventId = 0;
  uint32_t lParam = 0;
  uint16_t wParam = 0;
  bool operator==(const DeviceEvent&) const = default;
};

// Shared by the sessions of one device; every operation takes the queue's
// own lock, which is held for no wait and taken last.
class EventQueue {
 public:
  static constexpr size_t kCapacity = 511;

  // Appends the event unless an identical one is queued; false when it was not added.
  bool QueueEvent(const DeviceEvent& event);
  size_t Size();
  // Removes the oldest event into out; false when there is none.
  bool TakeOldest(DeviceEvent* out);
  // Removes the oldest event of that id that matches: both lParam and wParam
  // when both are non-zero, else the one that is non-zero; when both are
  // zero nothing matches. False when none does.
  bool TakeMatchingEvent(uint16_t id, uint32_t lParam, uint32_t wParam);
  void Clear();
  // Takes over the events of other that are not queued here, as far as
  // they fit (sessions that meet again on one device after a replug).
  void Absorb(EventQueue& other);

 private:
  bool QueueLocked(const DeviceEvent& event);
  lm::CriticalSection lock_;
  std::deque<DeviceEvent> events_;
};

}  // namespace corvel
