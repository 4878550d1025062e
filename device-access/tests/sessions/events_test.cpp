// The event queue: InterruptBuffers read into the queue a device's sessions
// share, duplicates dropped, the 511 cap, LmHandleEvent and the flush; and
// the queue's ownership across replugs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "benchctl/bench_control.h"
#include "corvel_dll.h"
#include "event_pipe.h"
#include "hwport/port.h"
#include "session_fixture.h"
#include "testsupport/testdir.h"

namespace corvel_test {
namespace {

const bool kBenchFromTheStart = benchctl::BenchFromTheStart();
const char* const kResource = kInstrumentResource;

// Events 1, 2, ... n, all different.
std::vector<Event> Numbered(size_t n, uint16_t first = 1) {
  std::vector<Event> events;
  for (size_t i = 0; i < n; ++i)
    events.push_back({static_cast<uint16_t>(0x1000 + first + i), static_cast<uint32_t>(i), 7});
  return events;
}

TEST(EventBuffer, QueuesWholeEventsWithinBufferSize) {
  struct Case {
    const char* name;
    std::vector<uint8_t> buffer;
    corvel::Status status;
    size_t queued;
  };
  std::vector<uint8_t> ragged = EventBuffer(Numbered(2), 15);
  // 4091 bytes that say so: more than an event read takes.
  std::vector<uint8_t> big = EventBuffer(Numbered(511));
  big.push_back(0);
  big[0] = static_cast<uint8_t>(big.size());
  big[1] = static_cast<uint8_t>(big.size() >> 8);
  const std::vector<Case> cases = {
      {"26 bytes: three events", EventBuffer(Numbered(3)), LM_SUCCESS, 3},
      {"BufferSize 10: one event", EventBuffer(Numbered(1)), LM_SUCCESS, 1},
      {"BufferSize 9", EventBuffer(Numbered(1), 9), LM_ERROR_RAW_RD_PROT_VIOL, 0},
      {"BufferSize 4091", big, LM_ERROR_RAW_RD_PROT_VIOL, 0},
      {"BufferSize past the bytes received", EventBuffer(Numbered(1), 18),
       LM_ERROR_RAW_RD_PROT_VIOL, 0},
      {"ragged: the whole events only", ragged, LM_SUCCESS, 1},
      {"two identical events: one", EventBuffer({{0x6701, 5, 6}, {0x6701, 5, 6}}), LM_SUCCESS, 1},
      {"nothing received, nothing queued", {}, LM_ERROR_QUEUE_EMPTY, 0},
      {"511 events fill the queue", EventBuffer(Numbered(511)), LM_ERROR_QUEUE_OVERFLOW, 511},
      {"one byte", {10}, LM_ERROR_RAW_RD_PROT_VIOL, 0},
  };
  for (const Case& c : cases) {
    corvel::EventQueue queue;
    EXPECT_EQ(c.status, corvel::QueueEventBuffer(queue, c.buffer.data(),
                                                 static_cast<uint32_t>(c.buffer.size())))
        << c.name;
    EXPECT_EQ(c.queued, queue.Size()) << c.name;
  }
}

TEST(EventBuffer, FullQueueTakesNothingMoreAndEventsKeepTheirOrder) {
  corvel::EventQueue queue;
  std::vector<uint8_t> first = EventBuffer(Numbered(500));
  ASSERT_EQ(LM_SUCCESS, corvel::QueueEventBuffer(queue, first.data(), uint32_t(first.size())));
  // Of 20 new events, 11 fit; the rest are dropped.
  std::vector<uint8_t> second = EventBuffer(Numbered(20, 501));
  EXPECT_EQ(LM_ERROR_QUEUE_OVERFLOW,
            corvel::QueueEventBuffer(queue, second.data(), uint32_t(second.size())));
  EXPECT_EQ(511u, queue.Size());
  EXPECT_EQ(LM_ERROR_QUEUE_OVERFLOW,
            corvel::QueueEventBuffer(queue, second.data(), uint32_t(second.size())));
  corvel::DeviceEvent e;
  ASSERT_TRUE(queue.TakeOldest(&e));
  EXPECT_EQ(0x1001, e.EventId);
  EXPECT_EQ(0u, e.lParam);
  EXPECT_EQ(7, e.wParam);
}

TEST(EventBuffer, MatchingEventIsTakenByTheGivenParameters) {
  struct Case {
    uint32_t lParam, wParam;
    bool found;
    uint32_t leftLParam;  // lParam of the event left in the queue
  };
  const std::vector<Case> cases = {
      {0, 0, false, 0},   {0, 0x30, true, 2},  {2, 0, true, 1},
      {2, 0x30, true, 1}, {1, 0x31, false, 0},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    corvel::EventQueue queue;
    queue.QueueEvent({0x67FF, 1, 0x30});
    queue.QueueEvent({0x67FF, 2, 0x30});
    queue.QueueEvent({0x1234, 2, 0x30});
    EXPECT_EQ(c.found, queue.TakeMatchingEvent(0x67FF, c.lParam, c.wParam)) << "row " << i;
    EXPECT_EQ(c.found ? 2u : 3u, queue.Size()) << "row " << i;
    corvel::DeviceEvent e;
    if (c.found && queue.TakeOldest(&e)) {
      EXPECT_EQ(c.leftLParam, e.lParam) << "row " << i;
    }
  }
}

class Events : public SessionTest {
 protected:
  void SetUp() override { Open(Instrument()); }
  void Queue(const std::vector<uint8_t>& buffer) {
    ASSERT_TRUE(benchctl::QueueTransfer(0, 0x83, buffer));
  }
  // LmHandleEvent's result and the event it gave ("-" when none).
  std::string Take(LmSession session) {
    DWORD id = 0xCCCC, lParam = 0xCCCC, wParam = 0xCCCC;
    int status = dll_.HandleEvent(session, &id, &lParam, &wParam);
    char text[80];
    if (status == 0)
      lstrcpyA(text, "0");
    else
      wsprintfA(text, "0x%08X", status);
    if (id == 0xCCCC)
      lstrcatA(text, " -");
    else
      wsprintfA(text + lstrlenA(text), " {0x%X, %u, 0x%X}", id, lParam, wParam);
    return text;
  }
};

TEST_F(Events, HandleEventDeliversTheOldestEventAndSuccessEvenWhenTheNextReadTimesOut) {
  Queue(EventBuffer({{0x6701, 0x11223344, 0x0102}, {0x6702, 2, 3}, {0x6703, 4, 5}}));
  EXPECT_EQ("0 {0x6701, 287454020, 0x102}", Take(session_));
  // The pipe is silent now: its read times out, the queued events still come.
  EXPECT_EQ("0 {0x6702, 2, 0x3}", Take(session_));
  EXPECT_EQ("0 {0x6703, 4, 0x5}", Take(session_));
  EXPECT_EQ("0xBFFF002E -", Take(session_));
}

TEST_F(Events, NullPointersAndAFullQueue) {
  Queue(EventBuffer({{0x6701, 1, 2}}));
  // Without the event id pointer the event stays queued.
  EXPECT_EQ(Status(LM_ERROR_PARAMETER2), dll_.HandleEvent(session_, nullptr, nullptr, nullptr));
  DWORD id = 0;
  EXPECT_EQ(0, dll_.HandleEvent(session_, &id, nullptr, nullptr));
  EXPECT_EQ(0x6701u, id);
  // A full queue refuses acknowledgements; the flush makes room again.
  Queue(EventBuffer(Numbered(511)));
  EXPECT_EQ(Status(LM_ERROR_QUEUE_OVERFLOW), dll_.SendCommand(session_, 0x1234));
  // LmHandleEvent says so too, with the oldest event: its read met the full
  // queue and dropped the acknowledgement it brought. A quiet pipe brings
  // nothing to drop; a read that fills the queue again drops what is beyond.
  EXPECT_EQ("0xBFFF002D {0x1001, 0, 0x7}", Take(session_));
  EXPECT_EQ("0 {0x1002, 1, 0x7}", Take(session_));
  Queue(EventBuffer(Numbered(3, 600)));
  EXPECT_EQ("0xBFFF002D {0x1003, 2, 0x7}", Take(session_));
  EXPECT_EQ(0, dll_.SetAttribute(session_, 3, 500));
  EXPECT_EQ(0, dll_.FlushEventQueue(session_));
  EXPECT_EQ("0xBFFF002E -", Take(session_));
  EXPECT_EQ(0, dll_.SendCommand(session_, 0x1234));
}

TEST_F(Events, MalformedBufferIsAProtocolViolationOfTheWait) {
  Queue(EventBuffer({{0x6701, 1, 2}}, 9));
  EXPECT_EQ(Status(LM_ERROR_RAW_RD_PROT_VIOL), dll_.SendCommand(session_, 0x1234));
}

TEST_F(Events, FlushReadsUntilThePipeIsQuietAndEmptiesTheQueue) {
  Queue(EventBuffer(Numbered(3)));
  Queue(EventBuffer(Numbered(2, 10)));
  ASSERT_EQ(0, dll_.SetAttribute(session_, 3, 500));
  benchctl::ClearRecord();
  EXPECT_EQ(0, dll_.FlushEventQueue(session_));
  // Two buffers, then the read that timed out.
  EXPECT_EQ(3u, benchctl::CallRecord("Read 0x83 len=4090").size());
  EXPECT_EQ("0xBFFF002E -", Take(session_));
}

TEST_F(Events, SessionsOfOneDeviceShareTheQueue) {
  LmSession second = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kResource, &second));
  Queue(EventBuffer({{0x6701, 1, 2}, {0x6702, 3, 4}}));
  EXPECT_EQ("0 {0x6701, 1, 0x2}", Take(session_));
  EXPECT_EQ("0 {0x6702, 3, 0x4}", Take(second));
  EXPECT_EQ(0, dll_.CloseDevice(second));
}

TEST_F(Events, QueueStaysWithTheSessionsThatUseItAcrossReplugs) {
  // Session A's device leaves and comes back, but A's re-attach fails (its
  // device object does not open); B opens the device anew; the next refresh
  // brings A back. Both share one queue then, and closing A leaves B's.
  End();
  // Opens: the start's refresh, A, the refresh after the return, A's re-attach.
  ASSERT_FALSE(benchctl::UseBench(folder_.Path(), benchctl::BenchSpec()
                                                      .TimeScale(1000)
                                                      .Instrument(8, "A12345")
                                                      .Fault("Operation=CreateFile After=3"))
                   .empty());
  ASSERT_EQ(0, dll_.LibInit());
  LmSession a = nullptr, b = nullptr;
  ASSERT_EQ(0, dll_.OpenDevice(kResource, &a));
  Queue(EventBuffer({{0x6701, 1, 1}}));
  // The wait goes on past the event to the acknowledgement behind it.
  ASSERT_EQ(0, dll_.SetAttribute(a, 3, 600000));
  ASSERT_EQ(0, dll_.SendCommand(a, 0x1234)) << "the event is queued on the way";
  // The change window refreshes after the removal and after the return; the
  // test waits for each refresh, so no other comes between.
  ASSERT_TRUE(benchctl::RemoveDevice(0));
  ASSERT_TRUE(Eventually([&] { return dll_.GetDeviceCount() == 0; }));
  ASSERT_TRUE(benchctl::ArriveDevice(0));
  ASSERT_TRUE(Eventually([&] { return !benchctl::CallRecord("-> failed").empty(); }));
  ASSERT_EQ(1, dll_.GetDeviceCount()) << "the refresh has ended";
  EXPECT_EQ(Status(LM_ERROR_DEVICE_DISCONNECTED), dll_.SetAttribute(a, 3, 500))
      << "the re-attach failed";
  ASSERT_EQ(0, dll_.OpenDevice(kResource, &b));
  ASSERT_EQ(0, dll_.UpdateDeviceList());
  ASSERT_EQ(0, dll_.SetAttribute(a, 3, 500)) << "re-attached";
  ASSERT_EQ(0, dll_.SetAttribute(b, 3, 500));
  Queue(EventBuffer({{0x6702, 2, 2}}));
  // A's own event joined the device's queue, ahead of the new one.
  EXPECT_EQ("0 {0x6701, 1, 0x1}", Take(b));
  EXPECT_EQ("0 {0x6702, 2, 0x2}", Take(a));
  EXPECT_EQ(0, dll_.CloseDevice(a));
  Queue(EventBuffer({{0x6703, 3, 3}}));
  EXPECT_EQ("0 {0x6703, 3, 0x3}", Take(b));
  EXPECT_EQ("0xBFFF002E -", Take(b));
  EXPECT_EQ(0, dll_.CloseDevice(b));
}

}  // namespace
}  // namespace corvel_test
