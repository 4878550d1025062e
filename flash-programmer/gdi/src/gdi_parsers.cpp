#include "tessaro/gdi_parsers.h"

#include <cstring>

#include "lumetra/sync.h"
#include "tessaro/device.h"

namespace tessaro {
namespace {

// The application title the activity indicator sets: written by the
// connections' reader threads, below the library's context.
std::string g_title;
lm::CriticalSection g_titleLock;
void StoreTitle(const char* title) {
  lm::Lock g(g_titleLock);
  g_title = title;
}

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

void DispatchPipeItems(uint8_t endpoint, const std::vector<PipeItem>& items,
                       const std::vector<TClient*>& clients) {
  for (const PipeItem& item : items) {
    for (TClient* c : clients) {
      switch (item.kind) {
        case PipeItem::TextLine:
          c->OnTextLine(item.text.c_str());
          break;
        case PipeItem::DataPacket:
          c->OnDataPacket(endpoint, item.id, item.payload, item.length);
          break;
        case PipeItem::DataMsg:
          c->OnDataMsg(endpoint, item.id, item.payload, item.length);
          break;
        case PipeItem::DeviceEvent:
          c->OnDeviceEvent(endpoint, item.id, item.lParam, item.wParam);
          break;
      }
    }
  }
}

void ParseBulk(uint8_t endpoint, const uint8_t* received, uint32_t read,
               const std::vector<TClient*>& clients) {
  // The items refer to a copy of the receive buffer.
  uint8_t buffer[kPipeBufferSize];
  std::memcpy(buffer, received, sizeof buffer);
  DispatchPipeItems(endpoint, DecodeBulk(endpoint, buffer, sizeof buffer, read), clients);
  PipeActivity().Advance(PipePosition(endpoint));
}

void ParseInterrupt(uint8_t endpoint, const uint8_t* buffer, uint32_t read,
                    const std::vector<TClient*>& clients) {
  DispatchPipeItems(endpoint, DecodeInterrupt(endpoint, buffer, kPipeBufferSize, read), clients);
  PipeActivity().Advance(PipePosition(endpoint));
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
  StoreTitle(Title);
}

ActivityIndicator& PipeActivity() {
  static ActivityIndicator indicator;
  return indicator;
}

std::string ApplicationTitle() {
  lm::Lock g(g_titleLock);
  return g_title;
}

}  // namespace tessaro
