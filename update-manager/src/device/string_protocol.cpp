// The power supply's string protocol: a packet written as register 0x2180,
// then the supply's interrupt events read until its reply event (0x6170)
// says the packet was dealt with.
#include <algorithm>
#include <cstdio>

#include "device/device_updater.h"
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
  explicit StringTrace(DWORD start) : start_(start), text_("    (0)    Start String2PS\n") {}
  void Add(const char* format, int value = 0) {
    char line[160];
    const int ms = static_cast<int>(hwport::TickCount() - start_);
    int n = std::snprintf(line, sizeof line, format, ms, value);
    if (n > 0) text_.append(line, std::min<size_t>(static_cast<size_t>(n), sizeof line - 1));
  }
  void Write() const {
    if (stringTrace) LogTrace(text_);
  }

 private:
  DWORD start_;
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

int32_t DeviceUpdater::string2PS(int32_t productId, const std::vector<uint8_t>& packet,
                                 int32_t count, int32_t* breakCode, bool releaseAtEnd) {
  flashTiming_ = hwport::TickCount();
  StringTrace trace(flashTiming_);
  LogTrace(TRACE_LEVEL_2, "Starting string2ps\n");
  uint8_t buffer[kReadBufferSize];

  int32_t n = record_.powerSupply.deviceNumber;
  int32_t result = 0;
  if (n >= 0) {
    LogTrace("Powersupply open already!\n");
  } else {
    n = AssignDeviceByPid(productId);
    result = n;
  }
  bool finished = false;
  bool replied = false;
  const int32_t rounds = count / kRoundsPerCount + 1;
  for (int32_t round = 0; round < rounds && !finished; ++round) {
    if (result < 0) {
      if (record_.powerSupply.deviceNumber >= 0)
        UnassignDeviceNumber(record_.powerSupply.deviceNumber);
      continue;
    }
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
      LogTrace(TRACE_LEVEL_2, "SetRegister\n");
      trace.Add("    (%d)\t\t    SetRegister - sending 0x2180\n");
      result = WriteDeviceRegister(record_.powerSupply.deviceNumber, FAC_STRING_PACKET, 0,
                                   packet.data(), static_cast<int32_t>(packet.size()));
      if (result >= 0) {
        trace.Add("    (%d)\t\t    SetRegister - RetVal %d - stopping sending loop\n", result);
        break;
      }
      hwport::Sleep(kSendRetryMs);
    }
    if (result < 0) continue;

    hwport::Sleep(kFirstReadMs);
    bool roundEnds = false;
    for (int read = 1; read <= kReadsPerRound && !finished && !roundEnds; ++read) {
      if (read % 5 == 0) hwport::Sleep(kReadPauseMs);
      std::fill(std::begin(buffer), std::end(buffer), uint8_t{0});
      int32_t length = kReadBufferSize;
      LogTrace(TRACE_LEVEL_2, "        reading irq\n");
      trace.Add("    (%d)\t\t    ReadRegister\n");
      int32_t r = qlinkx_.ReadIrpt(n, buffer, &length);
      LogTrace(TRACE_LEVEL_2, "        return read irq : " + std::to_string(r) + "\n");
      if (r == DEVICE_NUMBER_STALE) {
        // The supply restarted: the supply that was used gets a new number.
        UnassignDeviceNumber(n);
        n = AssignDeviceByPid(productId);
        std::fill(std::begin(buffer), std::end(buffer), uint8_t{0});
        length = kReadBufferSize;
        r = qlinkx_.ReadIrpt(n, buffer, &length);
        LogTrace(TRACE_LEVEL_1, "    readirq = -20, reading again\n");
      }
      if (r < 0) {
        LogTrace(std::to_string(hwport::TickCount() - flashTiming_) + "        IRQreturn<0\n");
        LogTrace("    IRQ-Return: " + std::to_string(r) + "\n");
        // Nothing more comes over this number: it is given back.
        if (n >= 0) UnassignDeviceNumber(n);
        return r;
      }
      // The library's length is trusted no further than the buffer reaches.
      const int32_t delivered = std::clamp(length, 0, kReadBufferSize);
      const int32_t total = le::I16(buffer);
      if (delivered != total) {
        trace.Add("    (%d)\t\t    lengthreference!= length in header - reading again\n");
        continue;
      }
      if (delivered == 0) {
        LogTrace(TRACE_LEVEL_2, "        length from irq = 0 --> reading again\n");
        trace.Add("    (%d)\t\t    bufferlength = 0 --> reading again\n");
        continue;
      }
      for (int32_t k = 0; k < (total - 2) / 8; ++k) {
        const uint8_t* event = buffer + 2 + 8 * k;
        if (le::U16(event) != REPLY_EVENT) {
          LogTrace(TRACE_LEVEL_2, "        irq command not 6170 -> reading again\n");
          trace.Add("    (%d)\t\t    irq command not 6170 --> reading again\n");
          continue;
        }
        replied = true;
        const uint8_t code = event[6];
        switch (EffectOf(code)) {
          case ReplyEffect::Finished:
            finished = true;
            LogTrace(TRACE_LEVEL_2, "        irq is " + std::to_string(code) + " --> stopping\n");
            trace.Add("    (%d)\t\t    irq =%x --> stopping\n", code);
            break;
          case ReplyEffect::RoundEnds:
            roundEnds = true;
            LogTrace(TRACE_LEVEL_2, "        irq is C3/C5/C6/CC --> reading again\n");
            trace.Add("    (%d)\t\t    irq =%x --> reading again\n", code);
            break;
          case ReplyEffect::PauseThenRoundEnds:
            roundEnds = true;
            LogTrace(TRACE_LEVEL_2, "        irq is C7 --> 3 sec pause + reading again\n");
            trace.Add("    (%d)\t\t    irq =%x --> 3 sec pause + reading again\n", code);
            hwport::Sleep(kFileExistsPauseMs);
            break;
          case ReplyEffect::ReadOn:
            break;
        }
        const int32_t code2 = BreakCodeOf(code);
        if (breakCode) *breakCode = code2;
        if (code >= kFirstBreakReply && code <= kLastBreakReply) {
          LogTrace(TRACE_LEVEL_2, BreakText(code2) + "\n");
          trace.Add("    (%d)\t\t    breakref = %d \n", code2);
        }
      }
    }
  }
  trace.Write();
  if (releaseAtEnd && n >= 0) UnassignDeviceNumber(n);
  // Sent but never answered is not "taken": the caller learns so.
  if (result >= 0 && !replied) return DEVICE_NO_REPLY;
  return result;
}
