#include "supply_panel.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "bench_core.h"
#include "usb_protocol.h"

extern "C" DWORD BenchTickCount();

namespace bench {
namespace {

// The protocol's registers, commands and reply codes are the bench's own
// copies on purpose: the bench is the oracle Kestor's side is checked against.
constexpr uint16_t kFacStringPacket = 0x2180;
constexpr uint16_t kFacWriteBlock = 0x2210;
constexpr uint16_t kFacReboot = 0x2222;
constexpr uint16_t kFacUnlock = 0x2333;
constexpr uint16_t kReplyEvent = 0x6170;

constexpr uint16_t kCmdData = 0x4020;
constexpr uint16_t kCmdHeader = 0x4021;
constexpr uint16_t kCmdDataEnd = 0x4022;
constexpr uint16_t kCmdExecute = 0x4024;
constexpr uint16_t kCmdQuery = 0x4041;
constexpr uint16_t kCmdStop = 0x4050;

constexpr uint8_t kAccepted = 0x33;
constexpr uint8_t kFileSizeError = 0xC0;
constexpr uint8_t kDestinationError = 0xC1;
constexpr uint8_t kOutOfOrder = 0xC2;
constexpr uint8_t kHeaderError = 0xC3;
constexpr uint8_t kNotReady = 0xC6;
constexpr int kNoReply = -1;

constexpr size_t kPacketSize = 2048;
constexpr size_t kPayloadPerPacket = 2038;
constexpr size_t kReportSize = 216;

std::vector<uint8_t> ReplyEvent(uint8_t code) {
  std::vector<uint8_t> e(10, 0);
  PutU16(&e[0], 10);
  PutU16(&e[2], kReplyEvent);
  PutU16(&e[8], code);
  return e;
}

std::string Hex4(uint16_t v) {
  char b[8];
  std::snprintf(b, sizeof b, "%04X", v);
  return b;
}

std::string TextField(const uint8_t* p, size_t size) {
  size_t n = 0;
  while (n < size && p[n]) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

// "Version 2.10" (or any "x.yy") in a header text, x 100; 0 when none.
uint32_t VersionOf(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') continue;
    double v = std::atof(text.c_str() + i);
    if (text.find('.', i) != std::string::npos) return static_cast<uint32_t>(v * 100 + 0.5);
  }
  return 0;
}

bool Later(uint32_t when) { return static_cast<int32_t>(BenchTickCount() - when) < 0; }

}  // namespace

bool SupplyPanel::HandlesOut(uint16_t facId) {
  return facId == kFacStringPacket || facId == kFacWriteBlock || facId == kFacReboot ||
         facId == kFacUnlock;
}

std::string SupplyPanel::StoredPath(const std::string& benchFile, int slot,
                                    const std::string& lmPath) {
  std::string name = lmPath;
  for (char& c : name)
    if (c == '\\' || c == '/' || c == ':') c = '_';
  return benchFile + ".panel" + std::to_string(slot) + "\\" + name;
}

int64_t SupplyPanel::Key(const char* key, int64_t fallback) {
  return file_.GetInt(section_, key, fallback);
}

void SupplyPanel::Settle() {
  if (loaded_) return;
  loaded_ = true;
  std::string state = file_.Get(section_, "PanelState", "running");
  if (state == "booting") {
    state_ = State::Booting;
    afterBusy_ = State::Running;
    busyUntil_ = BenchTickCount() + static_cast<uint32_t>(Key("PanelBootMs", 2000));
  } else if (state == "waiting") {
    state_ = State::Waiting;
  }
}

SupplyPanel::State SupplyPanel::Current() {
  Settle();
  if (state_ == State::Booting && !Later(busyUntil_)) state_ = afterBusy_;
  return state_;
}

bool SupplyPanel::ScriptedReply(uint16_t command, int* code) {
  std::string script = file_.Get(section_, "Replies." + Hex4(command));
  if (script.empty()) return false;
  std::vector<int> codes;
  std::istringstream in(script);
  std::string word;
  while (in >> word) {
    int repeat = 1;
    size_t star = word.find('*');
    if (star != std::string::npos) {
      repeat = std::atoi(word.c_str() + star + 1);
      word.resize(star);
    }
    int value = word == "--" ? kNoReply : static_cast<int>(std::strtol(word.c_str(), nullptr, 16));
    for (int i = 0; i < repeat; ++i) codes.push_back(value);
  }
  if (codes.empty()) return false;
  int seen = packetsSeen_[command]++;
  *code = codes[std::min<size_t>(static_cast<size_t>(seen), codes.size() - 1)];
  return true;
}

uint32_t SupplyPanel::Out(uint16_t facId, const uint8_t* data, uint32_t len,
                          std::vector<std::vector<uint8_t>>* events) {
  switch (facId) {
    case kFacUnlock:
      unlocked_ = true;
      return kStatusOk;
    case kFacWriteBlock:
      // The block is written only after an unlock, and only whole.
      if (!unlocked_ || len != kSupplyBlockSize) return kErrStall;
      unlocked_ = false;
      file_.Set(section_, "SupplyBlock", FormatHex(data, len));
      return kStatusOk;
    case kFacReboot:
      Reboot();
      return kStatusOk;
    default:
      return Packet(data, len, events);
  }
}

void SupplyPanel::Reboot() {
  const uint32_t rebootMs = static_cast<uint32_t>(Key("RebootMs", 1000));
  Restart(rebootMs);
  // The request is answered before the supply leaves the bus.
  const int slot = slot_;
  Bench::Instance().After(0, [slot, rebootMs] {
    Bench::Instance().Remove(slot);
    Bench::Instance().After(rebootMs, [slot] { Bench::Instance().Arrive(slot); });
  });
}

void SupplyPanel::Restart(uint32_t awayMs) {
  Settle();
  state_ = State::Booting;
  afterBusy_ = State::Running;
  busyUntil_ = BenchTickCount() + awayMs + static_cast<uint32_t>(Key("PanelBootMs", 2000));
  unlocked_ = false;
  path_.clear();
  received_.clear();
  next_ = 1;
}

uint32_t SupplyPanel::Packet(const uint8_t* data, uint32_t len,
                             std::vector<std::vector<uint8_t>>* events) {
  if (len < 8) return kErrStall;
  const uint16_t command = GetU16(data + 6);
  std::vector<std::vector<uint8_t>> extra;
  // A scripted reply other than "accepted" leaves the panel as it was.
  int code = kAccepted;
  if (!ScriptedReply(command, &code)) {
    code = Answer(command, data, len, &extra);
  } else if (code == kAccepted) {
    Answer(command, data, len, &extra);
  }
  if (Key("PanelSilent", 0) != 0) return kStatusOk;
  std::vector<std::vector<uint8_t>> out;
  const std::string prefix = file_.Get(section_, "ReplyPrefix");
  if (!prefix.empty()) out.push_back(ParseHex(prefix));
  if (code != kNoReply) out.push_back(ReplyEvent(static_cast<uint8_t>(code)));
  // Data follows its reply only when the reply says the request was done.
  if (code == kAccepted)
    for (auto& e : extra) out.push_back(std::move(e));
  const uint32_t delay = static_cast<uint32_t>(Key("ReplyDelayMs", 0));
  const int slot = slot_;
  if (const int64_t vanish = Key("VanishMs", 0); vanish > 0 && vanished_ < Key("VanishTimes", 1)) {
    // The supply drops off the bus right after it took the packet and answers
    // once it is back, under a new device number.
    ++vanished_;
    Bench::Instance().After(0, [slot, vanish, out] {
      Bench::Instance().Remove(slot);
      Bench::Instance().After(static_cast<uint32_t>(vanish), [slot, out] {
        Bench::Instance().Arrive(slot);
        for (const auto& e : out)
          Bench::Instance().QueueTransfer(slot, 0x83, e.data(), static_cast<uint32_t>(e.size()));
      });
    });
    return kStatusOk;
  }
  if (delay == 0) {
    for (auto& e : out) events->push_back(std::move(e));
    return kStatusOk;
  }
  Bench::Instance().After(delay, [slot, out] {
    for (const auto& e : out)
      Bench::Instance().QueueTransfer(slot, 0x83, e.data(), static_cast<uint32_t>(e.size()));
  });
  return kStatusOk;
}

uint8_t SupplyPanel::Answer(uint16_t command, const uint8_t* data, uint32_t len,
                            std::vector<std::vector<uint8_t>>* extra) {
  const State state = Current();
  switch (command) {
    case kCmdQuery: {
      if (state == State::Booting) return kNotReady;
      if (state != State::Running) return kHeaderError;
      const size_t size = static_cast<size_t>(Key("PanelReportSize", kReportSize));
      std::vector<uint8_t> report(std::max<size_t>(size, 40), 0);
      PutU16(&report[0], static_cast<uint16_t>(Key("PanelReportWord", static_cast<int64_t>(size))));
      PutU16(&report[2], kCmdQuery);
      PutU16(&report[4], static_cast<uint16_t>(size - 6));
      const double revision = std::atof(file_.Get(section_, "PanelRevision", "1.00").c_str());
      PutU32(&report[36], static_cast<uint32_t>(revision * 100 + 0.5));
      report.resize(size);
      extra->push_back(std::move(report));
      return kAccepted;
    }
    case kCmdStop: {
      if (state == State::Booting) return kNotReady;
      if (stopsRefused_ < Key("StopRefused", 0)) {
        ++stopsRefused_;
        return kDestinationError;
      }
      if (state == State::Running) {
        state_ = State::Booting;
        afterBusy_ = State::Waiting;
        busyUntil_ = BenchTickCount() + static_cast<uint32_t>(Key("PanelRestartMs", 2000));
      }
      return kAccepted;
    }
    case kCmdHeader:
      return state == State::Waiting || state == State::Receiving ? Header(data, len) : kNotReady;
    case kCmdData:
    case kCmdDataEnd:
      if (state == State::Booting) return kNotReady;
      return state == State::Receiving ? Data(command, data, len) : kOutOfOrder;
    case kCmdExecute: {
      if (state == State::Booting || state == State::Running) return kNotReady;
      const std::string path = TextField(data + 8, std::min<size_t>(len, kPacketSize) - 8);
      auto it = versions_.find(path);
      if (it == versions_.end()) return kDestinationError;
      // A silent execute is taken and then never reported ready; the panel
      // keeps the version it runs.
      if (executesSilenced_ < Key("ExecuteSilent", 0)) {
        ++executesSilenced_;
        return kAccepted;
      }
      const uint32_t version = VersionOf(it->second);
      const int slot = slot_;
      const std::string section = section_;
      // The panel runs the new version once the execute is done.
      Bench::Instance().After(
          static_cast<uint32_t>(Key("PanelExecuteMs", 1000)), [slot, section, version] {
            std::vector<uint8_t> ready(kReportSize, 0);
            PutU16(&ready[0], static_cast<uint16_t>(kReportSize));
            ready[6] = 0xC4;
            if (version) {
              char text[16];
              std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
              Bench::Instance().File().Set(section, "PanelRevision", text);
            }
            Bench::Instance().QueueTransfer(slot, 0x83, ready.data(),
                                            static_cast<uint32_t>(ready.size()));
          });
      return kAccepted;
    }
    default:
      return kDestinationError;
  }
}

uint8_t SupplyPanel::Header(const uint8_t* data, uint32_t len) {
  if (len < kPacketSize) return kHeaderError;
  const uint32_t size = GetU32(data + 8);
  const uint32_t packets = GetU32(data + 12);
  const std::string path = TextField(data + 16, 236);
  const std::string text = TextField(data + 252, 768);
  // The header's own length and count must agree with what it describes.
  if (GetU16(data) != 252 + text.size() || packets != size / kPayloadPerPacket + 1 ||
      path.empty()) {
    return kHeaderError;
  }
  state_ = State::Receiving;
  path_ = path;
  headerText_ = text;
  payloadSize_ = size;
  packets_ = packets;
  next_ = 1;
  received_.clear();
  return kAccepted;
}

uint8_t SupplyPanel::Data(uint16_t command, const uint8_t* data, uint32_t len) {
  const uint32_t number = GetU32(data + 2);
  const uint16_t length = GetU16(data);
  const bool last = command == kCmdDataEnd;
  if (len < kPacketSize || number != next_ || last != (number == packets_)) return kOutOfOrder;
  if (length < 8 || length > 8 + kPayloadPerPacket || (!last && length != 8 + kPayloadPerPacket))
    return kFileSizeError;
  received_.insert(received_.end(), data + 8, data + length);
  ++next_;
  if (!last) return kAccepted;
  state_ = State::Waiting;
  if (received_.size() != payloadSize_) return kFileSizeError;
  const std::string stored = StoredPath(file_.Path(), slot_, path_);
  CreateDirectoryA(stored.substr(0, stored.rfind('\\')).c_str(), nullptr);
  HANDLE f = CreateFileA(stored.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return kDestinationError;
  DWORD written = 0;
  WriteFile(f, received_.data(), static_cast<DWORD>(received_.size()), &written, nullptr);
  CloseHandle(f);
  versions_[path_] = headerText_;
  return kAccepted;
}

}  // namespace bench
