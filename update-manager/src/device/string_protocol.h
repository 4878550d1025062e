// The power supply's string protocol: a packet written as register 0x2180,
// then the supply's interrupt events read until its reply event (0x6170)
// says the packet was dealt with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/command_line.h"

class SupplyLink;

class StringProtocol {
 public:
  // timing: set to the tick count as each exchange begins. switches: the
  // command line's, whose string trace the exchanges write.
  StringProtocol(SupplyLink& link, uint32_t& timing, const CommandLine& switches)
      : link_(link), timing_(timing), switches_(switches) {}

  // Sends `packet` to the supply with this product id (over the supply's
  // number when it has one) in count / 20 + 1 rounds, until a reply ends the
  // exchange. 0 or the register write's result; DEVICE_NO_REPLY when the
  // supply never answered; a failed read's result (its number given back).
  // breakCode gets the break code of the last reply.
  int32_t Send(int32_t productId, const std::vector<uint8_t>& packet, int32_t count,
               int32_t* breakCode, bool releaseAtEnd);

 private:
  SupplyLink& link_;
  uint32_t& timing_;
  const CommandLine& switches_;
};

// The break code of a reply code (0xBF..0xCE give 0..15, others 0) and its
// trace text ("" outside 0..15).
int32_t BreakCodeOf(uint8_t replyCode);
std::string BreakText(int32_t breakCode);
