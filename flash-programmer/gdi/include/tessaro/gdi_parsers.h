// What arrives on the IN endpoints, turned into client calls: the bulk
// parser (DataPackets on 0x81/0x85) and the interrupt parser (event runs and
// DataMsg chains on 0x83, raw transfers on 0x87). Plain work over bytes; the
// clients are called in list order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

class TClient;

constexpr uint8_t EP_DATA_IN = 0x81;
constexpr uint8_t EP_DATA_IN_2 = 0x85;
constexpr uint8_t EP_DATA_OUT = 0x02;
constexpr uint8_t EP_EVENT_IN = 0x83;
constexpr uint8_t EP_EVENT_IN_2 = 0x87;
constexpr uint16_t MSG_DATA = 0x6F00;
constexpr uint16_t EVENT_ACKNOWLEDGE = 0x67FF;
constexpr uint32_t kPipeBufferSize = 4096;

// `buffer` is the whole receive buffer (kPipeBufferSize bytes), `read` the
// bytes of the last transfer.
void ParseBulk(uint8_t endpoint, const uint8_t* buffer, uint32_t read,
               const std::vector<TClient*>& clients);
void ParseInterrupt(uint8_t endpoint, const uint8_t* buffer, uint32_t read,
                    const std::vector<TClient*>& clients);

// The position of an IN endpoint among the reader pipes: 0 = 0x81,
// 1 = 0x85, 2 = 0x83, any other 3. Reader threads and the activity counters
// are kept in this order.
int PipePosition(uint8_t endpoint);

// The pipe activity indicator: a counter per IN endpoint position (0 = 0x81,
// 1 = 0x85, 2 = 0x83, 3 = 0x87) and a four-character title.
struct ActivityIndicator {
  int Counters[4] = {0, 0, 0, 0};
  int LowerBound = 0;
  int UpperBound = 3;
  char Title[5] = "....";
  void Advance(int position);
};
ActivityIndicator& PipeActivity();

// The library's application title, which the indicator sets.
using TitleSetter = void (*)(const char* title);
void SetApplicationTitleSetter(TitleSetter setter);
std::string ApplicationTitle();

}  // namespace tessaro
