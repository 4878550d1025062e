#include "tessaro/gdi_parsers.h"

#include <cstring>

#include "lumetra/sync.h"
#include "tessaro/device.h"
#include "tessaro/format_text.h"

namespace tessaro {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void TextToAll(const std::vector<TClient*>& clients, const std::string& text) {
  for (TClient* c : clients) c->OnTextLine(text.c_str());
}

// A transfer is valid when it is exactly `size` long, or one byte longer
// with the pad byte 0xAA at its end.
bool ValidLength(const uint8_t* buffer, uint32_t read, uint32_t size) {
  return size == read || (size + 1 == read && buffer[read - 1] == 0xAA);
}

std::string g_title;
lm::CriticalSection g_titleLock;
void StoreTitle(const char* title) {
  lm::Lock g(g_titleLock);
  g_title = title;
}
TitleSetter g_titleSetter = &StoreTitle;

}  // namespace

int PipePosition(uint8_t endpoint) {
  switch (endpoint) {
    case EP_DATA_IN:
      return 0;
    case EP_DATA_IN_2:
      return 1;
    case EP_EVENT_IN:
      return 2;
    default:
      return 3;
  }
}

void ParseBulk(uint8_t endpoint, const uint8_t* received, uint32_t read,
               const std::vector<TClient*>& clients) {
  uint8_t buffer[kPipeBufferSize];
  std::memcpy(buffer, received, sizeof buffer);
  if (read > kPipeBufferSize) read = kPipeBufferSize;
  uint32_t size = U16(buffer);
  if (ValidLength(buffer, read, size)) {
    if (size >= 4)
      for (TClient* c : clients)
        c->OnDataPacket(endpoint, U16(buffer + 2), buffer + 4, static_cast<uint16_t>(size - 4));
  } else {
    // The bytes around the read length and around the size, counted from
    // the payload's start.
    std::string dump;
    auto around = [&](const char* name, int64_t at) {
      for (int i = -1; i <= 1; ++i) {
        int64_t pos = 4 + at + i;
        if (pos < 0 || pos >= static_cast<int64_t>(kPipeBufferSize)) {
          dump += FormatText(", Data[%s+%d]=---", {name, i});
          return;
        }
        dump += FormatText(", Data[%s+%d]=$%X", {name, i, buffer[pos]});
      }
    };
    around("read", read);
    around("size", size);
    TextToAll(clients,
              FormatText("GDI.host: Corrupt bulk(0x%2.2X) in buffer (Read=%d, Size=%d) (%s)",
                         {endpoint, read, size, dump}));
  }
  PipeActivity().Advance(PipePosition(endpoint));
}

void ParseInterrupt(uint8_t endpoint, const uint8_t* buffer, uint32_t read,
                    const std::vector<TClient*>& clients) {
  if (read > kPipeBufferSize) read = kPipeBufferSize;
  uint32_t size = U16(buffer);
  int position = PipePosition(endpoint);
  if (!ValidLength(buffer, read, size)) {
    TextToAll(clients, FormatText("GDI.host: Corrupt interrupt(%2.2X) BUFFER!!! (really readen "
                                  "%dB, buffer.Size tell that must be %dB)",
                                  {endpoint, read, size}));
    PipeActivity().Advance(position);
    return;
  }
  int m = static_cast<int>(size) - 2;
  if (endpoint == EP_EVENT_IN_2) {
    // The raw pipe: one event per transfer, its id the byte after the size.
    if (size > 2)
      for (TClient* c : clients) c->OnDeviceEvent(endpoint, buffer[2], 0, static_cast<uint16_t>(m));
    PipeActivity().Advance(position);
    return;
  }
  uint16_t firstId = U16(buffer + 2);
  if (m < 0 || m % 8 != 0) {
    TextToAll(clients,
              FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA!!! sizeof(Msg's) <> multiple 8B "
                         "(SizeOfMsg's=%dB( Buffer.BufferSize:%dB, really readen for "
                         "channel:%dB),Buffer.EventId:0x%4.4X)",
                         {endpoint, m, size, read, firstId}));
    PipeActivity().Advance(position);
    return;
  }
  if (m > 0 && firstId == MSG_DATA) {
    int r = m, c = 0, t = m / 8;
    const uint8_t* msg = buffer + 2;
    // A chain whose rest cannot hold a message head ends the walk (a length
    // below 4 would hand the clients a negative, i.e. huge, payload).
    while (r >= 4) {
      ++c;
      uint16_t id = U16(msg);
      if (id != MSG_DATA) {
        TextToAll(clients,
                  FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA CONTEIN [SizeOfMsg's "
                             "%dB], error: DataMsg.EventId(0x%4.4X)<>MSG_DATA(0x%4.4X), "
                             "DataMsg #%d/%d [ RemainBytes:%dB ]",
                             {endpoint, m, id, MSG_DATA, c, t, r}));
        break;
      }
      int d = U16(msg + 2);
      if (d < 8) {
        TextToAll(clients,
                  FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA CONTEIN [SizeOfMsg's %dB], "
                             "error: DataMsg.DataSize(%dB)<8B (RemainOfBytes:%d), DataMsg #%d/%d [ "
                             "DataMsg.EventId:MSG_DATA(0x%4.4X), DataMsg.DataSize:%dB ]",
                             {endpoint, m, d, r, c, t, MSG_DATA, d}));
        d = 8;
      }
      if (d > r) {
        TextToAll(clients,
                  FormatText("GDI.host: Corrupt interrupt(%2.2X) DATA CONTEIN [SizeOfMsg's %dB], "
                             "error: DataMsg.DataSize(%dB)>RemainOfBytes(%d), DataMsg #%d/%d [ "
                             "DataMsg.EventId:MSG_DATA(0x%4.4X), DataMsg.DataSize:%dB ]",
                             {endpoint, m, d, r, c, t, MSG_DATA, d}));
        d = r;
      }
      for (TClient* cl : clients)
        cl->OnDataMsg(endpoint, MSG_DATA, msg + 4, static_cast<uint16_t>(d - 4));
      msg += d;
      r -= d;
    }
  } else if (m > 0) {
    for (int i = 0; i < m / 8; ++i) {
      const uint8_t* e = buffer + 2 + 8 * i;
      for (TClient* c : clients) c->OnDeviceEvent(endpoint, U16(e), U32(e + 2), U16(e + 6));
    }
  }
  PipeActivity().Advance(position);
}

void ActivityIndicator::Advance(int position) {
  if (position < 0 || position > 3) return;
  int range = UpperBound - LowerBound;
  int& counter = Counters[position];
  // An empty range keeps the counter at its lower bound.
  counter =
      range > 0 ? LowerBound + ((counter - LowerBound + 1) % range + range) % range : LowerBound;
  static const char kShapes[] = {'=', '\\', '|'};
  Title[position] = counter >= 0 && counter < 3 ? kShapes[counter] : '.';
  g_titleSetter(Title);
}

ActivityIndicator& PipeActivity() {
  static ActivityIndicator indicator;
  return indicator;
}

void SetApplicationTitleSetter(TitleSetter setter) {
  g_titleSetter = setter ? setter : &StoreTitle;
}

std::string ApplicationTitle() {
  lm::Lock g(g_titleLock);
  return g_title;
}

}  // namespace tessaro
