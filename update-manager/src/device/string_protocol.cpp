#include "device/string_protocol.h"

#include <algorithm>
#include <cstdio>

#include "device/command_line.h"
#include "device/supply_link.h"
#include "environment/log_writer.h"
#include "hwport/clock.h"
#include "lumetra/wire.h"

namespace {

constexpr uint16_t REPLY_EVENT = 0x6170;
constexpr int32_t kRoundsPerCount = 20;
constexpr int kSendAttempts = 10;
constexpr int kReadsPerRound = 21;
constexpr int32_t kReadBufferSize = 128;
constexpr DWORD kSendRetryMs = 100;
constexpr DWORD kFirstReadMs = 250;
constexpr DWORD kReadPauseMs = 50;
constexpr DWORD kFileExistsPauseMs = 3000;
constexpr uint8_t kFirstBreakReply = 0xBF;
constexpr uint8_t kLastBreakReply = 0xCE;

// What a reply code does to the read loop.
enum class ReplyEffect { ReadOn, Finished, RoundEnds, PauseThenRoundEnds };

ReplyEffect EffectOf(uint8_t code) {
  switch (code) {
    case 0x33:
    case 0xC0:
    case 0xC1:
    case 0xC2:
    case 0xC4:
      return ReplyEffect::Finished;
    case 0xC3:
    case 0xC5:
    case 0xC6:
    case 0xCC:
      return ReplyEffect::RoundEnds;
    case 0xC7:
      return ReplyEffect::PauseThenRoundEnds;
    default:
      return ReplyEffect::ReadOn;
  }
}

constexpr const char* kBreakTexts[16] = {"no Break",
                                         "File size Error",
                                         "Destination Error",
                                         "Paketreihenfolge",
                                         "Header error",
                                         "Execute ready",
                                         "Timeout error",
                                         "device not ready",
                                         "File exists",
                                         "C8",
                                         "C9",
                                         "CA",
                                         "CB",
                                         "CRC Error",
                                         "CE",
                                         "CF"};

// The string trace of one call: its entries, each stamped with the ms since
// the call began, written as one trace entry when the call ends normally.
class StringTrace {
 public:
  // on: whether the entries are written at all ("-s2p").
  StringTrace(DWORD start, bool on)
      : start_(start), on_(on), text_("    (0)    Start String2PS\n") {}
  void Add(const char* format, int value = 0) {
    char line[160];
    const int ms = static_cast<int>(hwport::TickCount() - start_);
    int n = std::snprintf(line, sizeof line, format, ms, value);
    if (n > 0) text_.append(line, std::min<size_t>(static_cast<size_t>(n), sizeof line - 1));
  }
  void Write() const {
    if (on_) LogTrace(text_);
  }

 private:
  DWORD start_;
  bool on_;
  std::string text_;
};

}  // namespace

int32_t BreakCodeOf(uint8_t replyCode) {
  return replyCode >= kFirstBreakReply && replyCode <= kLastBreakReply
             ? replyCode - kFirstBreakReply
             : 0;
}

std::string BreakText(int32_t breakCode) {
  return breakCode >= 0 && breakCode < 16 ? kBreakTexts[breakCode] : "";
}

namespace {

// One exchange's reading side: the number read over (renewed when it went
// stale), whether a reply came and whether one ended the exchange.
struct Exchange {
  int32_t productId;
  int32_t n;
  int32_t* breakCode;
  StringTrace& trace;
  bool finished = false;
  bool replied = false;
};

// The send loop: up to 10 writes of the packet to the supply's number.
int32_t WritePacket(SupplyLink& link, const std::vector<uint8_t>& packet, StringTrace& trace) {
  int32_t result = 0;
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    LogTrace(TRACE_LEVEL_2, "SetRegister\n");
    trace.Add("    (%d)\t\t    SetRegister - sending 0x2180\n");
    result = link.WriteRegister(link.Supply().deviceNumber, FAC_STRING_PACKET, 0, packet.data(),
                                static_cast<int32_t>(packet.size()));
    if (result >= 0) {
      trace.Add("    (%d)\t\t    SetRegister - RetVal %d - stopping sending loop\n", result);
      break;
    }
    hwport::Sleep(kSendRetryMs);
  }
  return result;
}

// The reply events of one read; `roundEnds` set when one ends the round.
void TakeEvents(const uint8_t* buffer, int32_t total, Exchange& x, bool* roundEnds) {
  for (int32_t k = 0; k < (total - 2) / 8; ++k) {
    const uint8_t* event = buffer + 2 + 8 * k;
    if (le::U16(event) != REPLY_EVENT) {
      LogTrace(TRACE_LEVEL_2, "        irq command not 6170 -> reading again\n");
      x.trace.Add("    (%d)\t\t    irq command not 6170 --> reading again\n");
      continue;
    }
    x.replied = true;
    const uint8_t code = event[6];
    switch (EffectOf(code)) {
      case ReplyEffect::Finished:
        x.finished = true;
        LogTrace(TRACE_LEVEL_2, "        irq is " + std::to_string(code) + " --> stopping\n");
        x.trace.Add("    (%d)\t\t    irq =%x --> stopping\n", code);
        break;
      case ReplyEffect::RoundEnds:
        *roundEnds = true;
        LogTrace(TRACE_LEVEL_2, "        irq is C3/C5/C6/CC --> reading again\n");
        x.trace.Add("    (%d)\t\t    irq =%x --> reading again\n", code);
        break;
      case ReplyEffect::PauseThenRoundEnds:
        *roundEnds = true;
        LogTrace(TRACE_LEVEL_2, "        irq is C7 --> 3 sec pause + reading again\n");
        x.trace.Add("    (%d)\t\t    irq =%x --> 3 sec pause + reading again\n", code);
        hwport::Sleep(kFileExistsPauseMs);
        break;
      case ReplyEffect::ReadOn:
        break;
    }
    const int32_t code2 = BreakCodeOf(code);
    if (x.breakCode) *x.breakCode = code2;
    if (code >= kFirstBreakReply && code <= kLastBreakReply) {
      LogTrace(TRACE_LEVEL_2, BreakText(code2) + "\n");
      x.trace.Add("    (%d)\t\t    breakref = %d \n", code2);
    }
  }
}

// The reply reader of one round: up to 21 reads of the supply's events
// until a reply ends the exchange or the round. 0, or a failed read's
// result (the number it was read over given back).
int32_t ReadReplies(SupplyLink& link, Exchange& x, DWORD start) {
  uint8_t buffer[kReadBufferSize];
  bool roundEnds = false;
  for (int read = 1; read <= kReadsPerRound && !x.finished && !roundEnds; ++read) {
    if (read % 5 == 0) hwport::Sleep(kReadPauseMs);
    std::fill(std::begin(buffer), std::end(buffer), uint8_t{0});
    int32_t length = kReadBufferSize;
    LogTrace(TRACE_LEVEL_2, "        reading irq\n");
    x.trace.Add("    (%d)\t\t    ReadRegister\n");
    int32_t r = link.Library().ReadIrpt(x.n, buffer, &length);
    LogTrace(TRACE_LEVEL_2, "        return read irq : " + std::to_string(r) + "\n");
    if (r == DEVICE_NUMBER_STALE) {
      // The supply restarted: the supply that was used gets a new number.
      x.n = link.Renew(x.n, x.productId);
      std::fill(std::begin(buffer), std::end(buffer), uint8_t{0});
      length = kReadBufferSize;
      r = link.Library().ReadIrpt(x.n, buffer, &length);
      LogTrace(TRACE_LEVEL_1, "    readirq = -20, reading again\n");
    }
    if (r < 0) {
      LogTrace(std::to_string(hwport::TickCount() - start) + "        IRQreturn<0\n");
      LogTrace("    IRQ-Return: " + std::to_string(r) + "\n");
      // Nothing more comes over this number: it is given back.
      if (x.n >= 0) link.Unassign(x.n);
      return r;
    }
    // The library's length is trusted no further than the buffer reaches.
    const int32_t delivered = std::clamp(length, 0, kReadBufferSize);
    const int32_t total = le::I16(buffer);
    if (delivered != total) {
      x.trace.Add("    (%d)\t\t    lengthreference!= length in header - reading again\n");
      continue;
    }
    if (delivered == 0) {
      LogTrace(TRACE_LEVEL_2, "        length from irq = 0 --> reading again\n");
      x.trace.Add("    (%d)\t\t    bufferlength = 0 --> reading again\n");
      continue;
    }
    TakeEvents(buffer, total, x, &roundEnds);
  }
  return 0;
}

}  // namespace

int32_t StringProtocol::Send(int32_t productId, const std::vector<uint8_t>& packet, int32_t count,
                             int32_t* breakCode, bool releaseAtEnd) {
  timing_ = hwport::TickCount();
  StringTrace trace(timing_, switches_.stringProtocolTrace);
  LogTrace(TRACE_LEVEL_2, "Starting string2ps\n");
  Exchange x{productId, link_.Supply().deviceNumber, breakCode, trace};
  int32_t result = 0;
  if (x.n >= 0) {
    LogTrace("Powersupply open already!\n");
  } else {
    x.n = link_.Assign(productId);
    result = x.n;
  }
  const int32_t rounds = count / kRoundsPerCount + 1;
  for (int32_t round = 0; round < rounds && !x.finished; ++round) {
    if (result < 0) {
      if (link_.Supply().deviceNumber >= 0) link_.Unassign(link_.Supply().deviceNumber);
      continue;
    }
    result = WritePacket(link_, packet, trace);
    if (result < 0) continue;
    hwport::Sleep(kFirstReadMs);
    if (int32_t r = ReadReplies(link_, x, timing_); r < 0) return r;
  }
  trace.Write();
  if (releaseAtEnd && x.n >= 0) link_.Unassign(x.n);
  // Sent but never answered is not "taken": the caller learns so.
  if (result >= 0 && !x.replied) return DEVICE_NO_REPLY;
  return result;
}
