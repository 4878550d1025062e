// The modelled bulk link on a clock of its own: packets follow each other at
// the link's rate, and the bench's own lateness is not charged to the caller.
#include "link_model.h"

#include <gtest/gtest.h>

namespace bench {
namespace {

using std::chrono::microseconds;

TEST(LinkModel, PacketsFollowEachOtherAndTheCallersGapsCountButTheBenchsLatenessDoesNot) {
  const LinkModel::Clock::time_point t0{};
  constexpr double kRate = 1e6;  // 1 byte per microsecond
  LinkModel link;
  struct Row {
    int handedOver;  // microseconds after t0
    uint32_t bytes;
    int returned;  // when the bench gave the write back (microseconds)
    int end;       // expected end of the packet on the link
  } rows[] = {
      {0, 100, 100, 100},     // an idle link starts at once
      {150, 100, 250, 250},   // the caller took 50 us: the link waited 50 us
      {260, 100, 900, 360},   // handed over at 260, ends at 360; the bench returns 540 late
      {910, 100, 1000, 470},  // the caller took 10 us after that late return
      {1005, 50, 1100, 525},  // and 5 us after the next one
  };
  for (const Row& r : rows) {
    auto end = link.Carry(t0 + microseconds(r.handedOver), r.bytes, kRate, 1.0);
    EXPECT_EQ(r.end, std::chrono::duration_cast<microseconds>(end - t0).count())
        << "handed over at " << r.handedOver;
    link.Returned(end, t0 + microseconds(r.returned));
  }
}

TEST(LinkModel, APacketHandedOverWhileTheLinkIsBusyWaitsItsTurn) {
  LinkModel link;
  const LinkModel::Clock::time_point t0{};
  EXPECT_EQ(t0 + microseconds(100), link.Carry(t0, 100, 1e6, 1.0));
  EXPECT_EQ(t0 + microseconds(200), link.Carry(t0 + microseconds(10), 100, 1e6, 1.0));
}

TEST(LinkModel, AHighSpeedPacketLastsItsTimeToTheNanosecond) {
  LinkModel link;
  const LinkModel::Clock::time_point t0{};
  EXPECT_EQ(t0 + std::chrono::nanoseconds(76923), link.Carry(t0, 4096, 13 * 512 * 8000.0, 1.0));
}

TEST(LinkModel, TheTimeScaleShortensThePacketsTime) {
  LinkModel link;
  const LinkModel::Clock::time_point t0{};
  EXPECT_EQ(t0 + microseconds(10), link.Carry(t0, 1000, 1e6, 100.0));
}

}  // namespace
}  // namespace bench
