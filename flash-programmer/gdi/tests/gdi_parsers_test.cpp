// The bulk and interrupt parsers over bytes: the client calls each transfer
// produces, the pad byte, and every malformed length.
#include "tessaro/gdi_parsers.h"

#include <gtest/gtest.h>

#include "recording_client.h"
#include "tessaro/device.h"
#include "tessaro_test/idle_device.h"

namespace tessaro {
namespace {

using NoDevice = tessaro_test::IdleDevice;

struct ParserCase {
  const char* name;
  uint8_t endpoint;
  std::vector<uint8_t> bytes;
  std::vector<std::string> calls;
};

std::vector<std::string> Parse(const ParserCase& c) {
  NoDevice device;
  std::vector<std::string> calls;
  new RecordingClient(&device, &calls);  // the device frees it
  std::vector<uint8_t> buffer(kPipeBufferSize, 0);
  std::copy(c.bytes.begin(), c.bytes.end(), buffer.begin());
  uint32_t read = static_cast<uint32_t>(c.bytes.size());
  if (c.endpoint == EP_DATA_IN || c.endpoint == EP_DATA_IN_2)
    ParseBulk(c.endpoint, buffer.data(), read, device.Clients());
  else
    ParseInterrupt(c.endpoint, buffer.data(), read, device.Clients());
  return calls;
}

TEST(Parsers, BulkTransfers) {
  const ParserCase cases[] = {
      {"packet", 0x81, {8, 0, 0x34, 0x12, 1, 2, 3, 4}, {"packet 81 id=1234 len=4: 01 02 03 04"}},
      {"pad byte accepted",
       0x85,
       {6, 0, 1, 0, 0xAB, 0xCD, 0xAA},
       {"packet 85 id=0001 len=2: AB CD"}},
      {"wrong pad byte",
       0x81,
       {6, 0, 1, 0, 0xAB, 0xCD, 0x00},
       {"text GDI.host: Corrupt bulk(0x81) in buffer (Read=7, Size=6) (, Data[read+-1]=$0, "
        "Data[read+0]=$0, Data[read+1]=$0, Data[size+-1]=$0, Data[size+0]=$0, "
        "Data[size+1]=$0)"}},
      {"size past the buffer",
       0x81,
       {0xFF, 0xFF, 1, 0, 9},
       {"text GDI.host: Corrupt bulk(0x81) in buffer (Read=5, Size=65535) (, Data[read+-1]=$0, "
        "Data[read+0]=$0, Data[read+1]=$0, Data[size+-1]=---)"}},
      {"size below the head", 0x81, {2, 0}, {}},
  };
  for (const ParserCase& c : cases) EXPECT_EQ(c.calls, Parse(c)) << c.name;
}

TEST(Parsers, InterruptTransfers) {
  const ParserCase cases[] = {
      {"size 2 delivers nothing", 0x83, {2, 0}, {}},
      {"one event",
       0x83,
       {10, 0, 0xFF, 0x67, 1, 0, 0, 0, 0x00, 0x02},
       {"event 83 id=67FF l=1 w=512"}},
      {"two events in order",
       0x83,
       {18, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 5, 0, 0, 0, 7, 0},
       {"event 83 id=0001 l=0 w=0", "event 83 id=0002 l=5 w=7"}},
      {"event with pad byte",
       0x83,
       {10, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0xAA},
       {"event 83 id=0003 l=0 w=0"}},
      {"length not what was read",
       0x83,
       {12, 0, 3, 0, 0, 0, 0, 0, 0, 0},
       {"text GDI.host: Corrupt interrupt(83) BUFFER!!! (really readen 10B, buffer.Size tell that "
        "must be 12B)"}},
      {"not a multiple of 8",
       0x83,
       {14, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {"text GDI.host: Corrupt interrupt(83) DATA!!! sizeof(Msg's) <> multiple 8B "
        "(SizeOfMsg's=12B( Buffer.BufferSize:14B, really readen for channel:14B),Buffer.EventId:"
        "0x0005)"}},
      {"size 1 counts as not a multiple",
       0x83,
       {1},
       {"text GDI.host: Corrupt interrupt(83) DATA!!! sizeof(Msg's) <> multiple 8B "
        "(SizeOfMsg's=-1B( Buffer.BufferSize:1B, really readen for channel:1B),Buffer.EventId:"
        "0x0000)"}},
      {"size 1 in two bytes read",
       0x83,
       {1, 0},
       {"text GDI.host: Corrupt interrupt(83) BUFFER!!! (really readen 2B, buffer.Size tell that "
        "must be 1B)"}},
      {"two data messages",
       0x83,
       {18, 0, 0x00, 0x6F, 8, 0, 1, 2, 3, 4, 0x00, 0x6F, 8, 0, 5, 6, 7, 8},
       {"msg 83 id=6F00 len=4: 01 02 03 04", "msg 83 id=6F00 len=4: 05 06 07 08"}},
      {"data size below 8 is taken as 8",
       0x83,
       {10, 0, 0x00, 0x6F, 6, 0, 1, 2, 3, 4},
       {"text GDI.host: Corrupt interrupt(83) DATA CONTEIN [SizeOfMsg's 8B], error: "
        "DataMsg.DataSize(6B)<8B (RemainOfBytes:8), DataMsg #1/1 [ "
        "DataMsg.EventId:MSG_DATA(0x6F00), "
        "DataMsg.DataSize:6B ]",
        "msg 83 id=6F00 len=4: 01 02 03 04"}},
      {"data size past the rest is cut, a rest too small for a head ends the walk",
       0x83,
       {18, 0, 0x00, 0x6F, 14, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x00, 0x6F},
       {"msg 83 id=6F00 len=10: 01 02 03 04 05 06 07 08 09 0A"}},
      {"data size past the rest",
       0x83,
       {10, 0, 0x00, 0x6F, 12, 0, 1, 2, 3, 4},
       {"text GDI.host: Corrupt interrupt(83) DATA CONTEIN [SizeOfMsg's 8B], error: "
        "DataMsg.DataSize(12B)>RemainOfBytes(8), DataMsg #1/1 [ DataMsg.EventId:MSG_DATA(0x6F00), "
        "DataMsg.DataSize:12B ]",
        "msg 83 id=6F00 len=4: 01 02 03 04"}},
      {"a foreign id inside a chain",
       0x83,
       {18, 0, 0x00, 0x6F, 8, 0, 1, 2, 3, 4, 0x01, 0x00, 8, 0, 5, 6, 7, 8},
       {"msg 83 id=6F00 len=4: 01 02 03 04",
        "text GDI.host: Corrupt interrupt(83) DATA CONTEIN [SizeOfMsg's 16B], error: "
        "DataMsg.EventId(0x0001)<>MSG_DATA(0x6F00), DataMsg #2/2 [ RemainBytes:8B ]"}},
      {"raw pipe: id from one byte", 0x87, {3, 0, 0x42}, {"event 87 id=0042 l=0 w=1"}},
      {"raw pipe: size 2 delivers nothing", 0x87, {2, 0}, {}},
  };
  for (const ParserCase& c : cases) EXPECT_EQ(c.calls, Parse(c)) << c.name;
}

// A transfer too short for its size or first event id is checked before they
// are read: what an earlier transfer left in the buffer (here 0xCC) never
// shows, and the decoders read nothing past the transfer.
TEST(Parsers, ShortTransfersReadNothingPastTheirEnd) {
  struct Row {
    const char* name;
    uint8_t endpoint;
    std::vector<uint8_t> bytes;
    std::vector<std::string> calls;
  } rows[] = {
      {"empty interrupt transfer: size 0",
       0x83,
       {},
       {"text GDI.host: Corrupt interrupt(83) DATA!!! sizeof(Msg's) <> multiple 8B "
        "(SizeOfMsg's=-2B( Buffer.BufferSize:0B, really readen for channel:0B),Buffer.EventId:"
        "0x0000)"}},
      {"empty bulk transfer", 0x81, {}, {}},
      {"empty raw transfer", 0x87, {}, {}},
      {"one byte: size 1 without its high byte",
       0x83,
       {1},
       {"text GDI.host: Corrupt interrupt(83) DATA!!! sizeof(Msg's) <> multiple 8B "
        "(SizeOfMsg's=-1B( Buffer.BufferSize:1B, really readen for channel:1B),Buffer.EventId:"
        "0x0000)"}},
      {"three bytes: the event id's high byte missing",
       0x83,
       {3, 0, 0x45},
       {"text GDI.host: Corrupt interrupt(83) DATA!!! sizeof(Msg's) <> multiple 8B "
        "(SizeOfMsg's=1B( Buffer.BufferSize:3B, really readen for channel:3B),Buffer.EventId:"
        "0x0045)"}},
      {"one bulk byte", 0x81, {1}, {}},
  };
  for (const Row& r : rows) {
    NoDevice device;
    std::vector<std::string> calls;
    new RecordingClient(&device, &calls);
    // The transfer alone in a buffer of its own size, after a stale one.
    std::vector<uint8_t> stale(kPipeBufferSize, 0xCC);
    std::copy(r.bytes.begin(), r.bytes.end(), stale.begin());
    const uint32_t read = static_cast<uint32_t>(r.bytes.size());
    std::vector<PipeItem> items =
        r.endpoint == EP_DATA_IN
            ? DecodeBulk(r.endpoint, r.bytes.data(), r.bytes.size(), read)
            : DecodeInterrupt(r.endpoint, r.bytes.data(), r.bytes.size(), read);
    DispatchPipeItems(r.endpoint, items, device.Clients());
    EXPECT_EQ(r.calls, calls) << r.name << " (alone)";
    calls.clear();
    if (r.endpoint == EP_DATA_IN)
      ParseBulk(r.endpoint, stale.data(), read, device.Clients());
    else
      ParseInterrupt(r.endpoint, stale.data(), read, device.Clients());
    EXPECT_EQ(r.calls, calls) << r.name << " (after a stale transfer)";
  }
}

TEST(Parsers, SeveralClientsGetEachCallInListOrder) {
  NoDevice device;
  std::vector<std::string> calls;
  new RecordingClient(&device, &calls);
  new RecordingClient(&device, &calls);
  std::vector<uint8_t> buffer(kPipeBufferSize, 0);
  const uint8_t events[] = {18, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  std::copy(events, events + 18, buffer.begin());
  ParseInterrupt(0x83, buffer.data(), 18, device.Clients());
  EXPECT_EQ((std::vector<std::string>{"event 83 id=0001 l=0 w=0", "event 83 id=0001 l=0 w=0",
                                      "event 83 id=0002 l=0 w=0", "event 83 id=0002 l=0 w=0"}),
            calls);
}

TEST(ActivityIndicator, CyclesPerEndpointAndSurvivesAnEmptyRange) {
  ActivityIndicator a;
  a.Advance(0);
  EXPECT_STREQ("\\...", a.Title);
  a.Advance(0);
  a.Advance(2);
  EXPECT_STREQ("|.\\.", a.Title);
  a.Advance(0);
  EXPECT_STREQ("=.\\.", a.Title);
  EXPECT_EQ("=.\\.", ApplicationTitle());
  a.UpperBound = a.LowerBound;  // nothing to cycle through
  a.Advance(3);
  EXPECT_STREQ("=.\\=", a.Title);
}

}  // namespace
}  // namespace tessaro
