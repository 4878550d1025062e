#include "link_model.h"

namespace bench {

LinkModel::Clock::time_point LinkModel::Carry(Clock::time_point handedOver, uint32_t bytes,
                                              double bytesPerSecond, double timeScale) {
  // The bench returned the previous write this much after its end; the
  // caller handed this one over that much earlier on the link's time.
  auto credited = handedOver - std::chrono::nanoseconds(lateNs_.exchange(0));
  auto start = busyUntil_ > credited ? busyUntil_ : credited;
  // Nanoseconds: a high-speed packet lasts about 77 us, and whole
  // microseconds would make the link 1 % faster than its rate.
  busyUntil_ = start + std::chrono::nanoseconds(
                           static_cast<int64_t>(bytes * 1e9 / bytesPerSecond / timeScale));
  return busyUntil_;
}

void LinkModel::Returned(Clock::time_point end, Clock::time_point now) {
  auto late = std::chrono::duration_cast<std::chrono::nanoseconds>(now - end).count();
  lateNs_ = late > 0 ? late : 0;
}

}  // namespace bench
