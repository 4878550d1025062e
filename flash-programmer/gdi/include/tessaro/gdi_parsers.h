// What arrives on the IN endpoints, turned into client calls: each transfer
// is decoded into items (pipe_items.h), then the items are dispatched to the
// clients in list order and the pipe's activity counter advances.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessaro/pipe_items.h"

namespace tessaro {

class TClient;

// `buffer` is the whole receive buffer (kPipeBufferSize bytes), `read` the
// bytes of the last transfer.
void ParseBulk(uint8_t endpoint, const uint8_t* buffer, uint32_t read,
               const std::vector<TClient*>& clients);
void ParseInterrupt(uint8_t endpoint, const uint8_t* buffer, uint32_t read,
                    const std::vector<TClient*>& clients);

// Calls the clients for each item in order: every client gets one item before
// the next item is dispatched.
void DispatchPipeItems(uint8_t endpoint, const std::vector<PipeItem>& items,
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
std::string ApplicationTitle();

}  // namespace tessaro
