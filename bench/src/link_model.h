// The modelled bulk link of one device: when a write handed over at a given
// moment has crossed it. The link carries one packet after the other at its
// rate. What the bench itself spends on a write (its bookkeeping, and a
// wake-up later than the packet's end, since sleeps are coarse) is not the
// caller's doing, so it is not charged to the caller's next packet: the link
// is taken to have waited only as long as the caller did.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace bench {

class LinkModel {
 public:
  using Clock = std::chrono::steady_clock;

  // The moment a packet of `bytes` handed over at `handedOver` has crossed a
  // link of `bytesPerSecond` (bench seconds, `timeScale` times faster than
  // the wall). Called under the bench's lock.
  Clock::time_point Carry(Clock::time_point handedOver, uint32_t bytes, double bytesPerSecond,
                          double timeScale);
  // The write that was to end at `end` went back to its caller at `now`;
  // may be called outside the bench's lock.
  void Returned(Clock::time_point end, Clock::time_point now);

 private:
  Clock::time_point busyUntil_{};
  std::atomic<int64_t> lateNs_{0};
};

}  // namespace bench
