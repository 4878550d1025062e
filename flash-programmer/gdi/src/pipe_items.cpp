#include "tessaro/pipe_items.h"

#include "lumetra/wire.h"
#include "tessaro/format_text.h"

namespace tessaro {
namespace {

// A field of the transfer: a byte the transfer does not hold reads as 0, so a
// short transfer never shows what an earlier one left in the buffer.
uint16_t TransferU16(const uint8_t* buffer, uint32_t read, uint32_t offset) {
  if (offset + 2 <= read) return le::U16(buffer + offset);
  return offset < read ? buffer[offset] : 0;
}

// A transfer is valid when it is exactly `size` long, or one byte longer
// with the pad byte 0xAA at its end.
bool ValidLength(const uint8_t* buffer, uint32_t read, uint32_t size) {
  return size == read || (size + 1 == read && buffer[read - 1] == 0xAA);
}

PipeItem Text(std::string text) {
  PipeItem item;
  item.text = std::move(text);
  return item;
}

PipeItem Payload(PipeItem::Kind kind, uint16_t id, const uint8_t* payload, uint16_t length) {
  PipeItem item;
  item.kind = kind;
  item.id = id;
  item.payload = payload;
  item.length = length;
  return item;
}

PipeItem Event(uint16_t id, uint32_t lParam, uint16_t wParam) {
  PipeItem item;
  item.kind = PipeItem::DeviceEvent;
  item.id = id;
  item.lParam = lParam;
  item.wParam = wParam;
  return item;
}

uint32_t Clamp(size_t capacity, uint32_t read) {
  return read > capacity ? static_cast<uint32_t>(capacity) : read;
}

}  // namespace

std::vector<PipeItem> DecodeBulk(uint8_t endpoint, const uint8_t* buffer, size_t capacity,
                                 uint32_t read) {
  read = Clamp(capacity, read);
  std::vector<PipeItem> items;
  const uint32_t size = TransferU16(buffer, read, 0);
  if (ValidLength(buffer, read, size)) {
    if (size >= 4)
      items.push_back(Payload(PipeItem::DataPacket, le::U16(buffer + 2), buffer + 4,
                              static_cast<uint16_t>(size - 4)));
    return items;
  }
  // The bytes around the read length and around the size, counted from the
  // payload's start.
  std::string dump;
  auto around = [&](const char* name, int64_t at) {
    for (int i = -1; i <= 1; ++i) {
      int64_t pos = 4 + at + i;
      if (pos < 0 || pos >= static_cast<int64_t>(capacity)) {
        dump += FormatText(", Data[%s+%d]=---", {name, i});
        return;
      }
      dump += FormatText(", Data[%s+%d]=$%X", {name, i, buffer[pos]});
    }
  };
  around("read", read);
  around("size", size);
  items.push_back(
      Text(FormatText("GDI.host: Corrupt bulk(0x%2.2X) in buffer (Read=%d, Size=%d) (%s)",
                      {endpoint, read, size, dump})));
  return items;
}

namespace {

// The chain of data messages of an interrupt transfer whose first event is
// MSG_DATA: each message's payload, and a text for each one found corrupt.
void DecodeDataChain(uint8_t endpoint, const uint8_t* buffer, int m, std::vector<PipeItem>& items) {
  int r = m, c = 0, t = m / 8;
  const uint8_t* msg = buffer + 2;
  // A chain whose rest cannot hold a message head ends the walk (a length
  // below 4 would hand the clients a negative, i.e. huge, payload).
  while (r >= 4) {
    ++c;
    uint16_t id = le::U16(msg);
    if (id != MSG_DATA) {
      items.push_back(Text(FormatText(
          "GDI.host: Corrupt interrupt(%2.2X) DATA CONTEIN [SizeOfMsg's %dB], error: "
          "DataMsg.EventId(0x%4.4X)<>MSG_DATA(0x%4.4X), DataMsg #%d/%d [ RemainBytes:%dB ]",
          {endpoint, m, id, MSG_DATA, c, t, r})));
      break;
    }
    int d = le::U16(msg + 2);
    if (d < 8) {
      items.push_back(
          Text(FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA CONTEIN [SizeOfMsg's %dB], "
                          "error: DataMsg.DataSize(%dB)<8B (RemainOfBytes:%d), DataMsg #%d/%d [ "
                          "DataMsg.EventId:MSG_DATA(0x%4.4X), DataMsg.DataSize:%dB ]",
                          {endpoint, m, d, r, c, t, MSG_DATA, d})));
      d = 8;
    }
    if (d > r) {
      items.push_back(
          Text(FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA CONTEIN [SizeOfMsg's %dB], "
                          "error: DataMsg.DataSize(%dB)>RemainOfBytes(%d), DataMsg #%d/%d [ "
                          "DataMsg.EventId:MSG_DATA(0x%4.4X), DataMsg.DataSize:%dB ]",
                          {endpoint, m, d, r, c, t, MSG_DATA, d})));
      d = r;
    }
    items.push_back(Payload(PipeItem::DataMsg, MSG_DATA, msg + 4, static_cast<uint16_t>(d - 4)));
    msg += d;
    r -= d;
  }
}

}  // namespace

std::vector<PipeItem> DecodeInterrupt(uint8_t endpoint, const uint8_t* buffer, size_t capacity,
                                      uint32_t read) {
  read = Clamp(capacity, read);
  std::vector<PipeItem> items;
  const uint32_t size = TransferU16(buffer, read, 0);
  if (!ValidLength(buffer, read, size)) {
    items.push_back(
        Text(FormatText("GDI.host: Corrupt interrupt(%2.2X) BUFFER!!! (really readen "
                        "%dB, buffer.Size tell that must be %dB)",
                        {endpoint, read, size})));
    return items;
  }
  // From here on size <= read: the transfer holds every byte the size names.
  const int m = static_cast<int>(size) - 2;
  if (endpoint == EP_EVENT_IN_2) {
    // The raw pipe: one event per transfer, its id the byte after the size.
    if (size > 2) items.push_back(Event(buffer[2], 0, static_cast<uint16_t>(m)));
    return items;
  }
  const uint16_t firstId = TransferU16(buffer, read, 2);
  if (m < 0 || m % 8 != 0) {
    items.push_back(
        Text(FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA!!! sizeof(Msg's) <> multiple 8B "
                        "(SizeOfMsg's=%dB( Buffer.BufferSize:%dB, really readen for "
                        "channel:%dB),Buffer.EventId:0x%4.4X)",
                        {endpoint, m, size, read, firstId})));
    return items;
  }
  if (m > 0 && firstId == MSG_DATA) {
    DecodeDataChain(endpoint, buffer, m, items);
  } else if (m > 0) {
    for (int i = 0; i < m / 8; ++i) {
      const uint8_t* e = buffer + 2 + 8 * i;
      items.push_back(Event(le::U16(e), le::U32(e + 2), le::U16(e + 6)));
    }
  }
  return items;
}

}  // namespace tessaro
