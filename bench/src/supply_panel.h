// A power supply's string protocol and the front panel (MMI) behind it, as
// the qlinkx stand-in reaches them through the supply's registers:
//   0x2180  a 2048-byte packet {u16 length, u32 number, u16 command, ...} for
//           the panel; the supply answers with reply events {0x6170, wParam
//           low byte = reply code} on the interrupt endpoint 0x83
//   0x2333  unlock, then 0x2210 writes the whole SupplyBlock (kept as the
//           section's SupplyBlock key, so reads see it)
//   0x2222  reboot: the supply and what it carries leave the bus and return
//
// The panel is a state machine: running (a query 0x4041 is answered 0x33,
// then a data message of 216 bytes with the revision x 100 at offset 36),
// booting (C6 to each of its commands), waiting for files (C3). A stop 0x4050
// restarts it into its update mode; a header 0x4021 opens a file, checked
// against its packet count and length; data packets 0x4020/0x4022 must come
// in order, and the last stores the file under its LmPath ("<bench
// file>.panel<slot>\<LmPath with \ / : replaced by _>"); an execute 0x4024
// is answered 0x33, then after PanelExecuteMs by a 216-byte buffer with 0xC4
// at offset 6, and the panel then runs the version its last header text
// named ("Version x.yy").
//
// Keys of the supply's section (bench clock in ms):
//   PanelState=running|booting|waiting, PanelRevision=1.05, PanelBootMs=2000,
//   PanelRestartMs=2000 (after a stop), PanelExecuteMs=1000, RebootMs=1000,
//   PanelSilent=1 (no reply at all), ReplyDelayMs=n (every reply that late),
//   Replies.XXXX=C3*29 33 (the replies to successive packets of command XXXX,
//   the last repeating; "--" answers nothing), ReplyPrefix=hex (a transfer
//   sent before every reply), VanishMs=n (the supply leaves the bus for n ms
//   right after it took a packet, VanishTimes=1 times), PanelReportSize=n (the
//   revision report's size and first word), PanelReportWord=n (a first word
//   other than the size), StopRefused=n (the first n stops answered C1),
//   ExecuteSilent=n (the first n executes are taken, never reported ready and
//   leave the panel's version as it was).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench_file.h"

namespace bench {

class SupplyPanel {
 public:
  SupplyPanel(BenchFile& file, std::string section, int slot)
      : file_(file), section_(std::move(section)), slot_(slot) {}

  // True when this register belongs to the string protocol or the supply's
  // release and reboot requests.
  static bool HandlesOut(uint16_t facId);
  // Status as for a control request; events go to `events` (queued on 0x83
  // by the caller) or later through the bench.
  uint32_t Out(uint16_t facId, const uint8_t* data, uint32_t len,
               std::vector<std::vector<uint8_t>>* events);

  // The supply restarts and is back after awayMs (a reboot, whatever made
  // it, or the power back): what the panel held in RAM is gone (a file it
  // was receiving, an unlock), and it boots for PanelBootMs once the supply
  // is back, answering C6 meanwhile.
  void Restart(uint32_t awayMs);

  // Where the panel stores a received file.
  static std::string StoredPath(const std::string& benchFile, int slot, const std::string& lmPath);

 private:
  enum class State { Running, Booting, Waiting, Receiving };

  uint32_t Packet(const uint8_t* data, uint32_t len, std::vector<std::vector<uint8_t>>* events);
  uint8_t Answer(uint16_t command, const uint8_t* data, uint32_t len,
                 std::vector<std::vector<uint8_t>>* extra);
  uint8_t Header(const uint8_t* data, uint32_t len);
  uint8_t Data(uint16_t command, const uint8_t* data, uint32_t len);
  void Reboot();
  void Settle();
  State Current();
  int64_t Key(const char* key, int64_t fallback);
  bool ScriptedReply(uint16_t command, int* code);

  BenchFile& file_;
  std::string section_;
  int slot_;
  bool loaded_ = false;
  State state_ = State::Running;
  uint32_t busyUntil_ = 0;  // bench clock: booting or restarting until then
  State afterBusy_ = State::Running;
  bool unlocked_ = false;
  int stopsRefused_ = 0;
  int executesSilenced_ = 0;
  int64_t vanished_ = 0;
  std::map<uint16_t, int> packetsSeen_;
  // The file being received.
  std::string path_;
  std::string headerText_;
  uint32_t payloadSize_ = 0;
  uint32_t packets_ = 0;
  uint32_t next_ = 1;
  std::vector<uint8_t> received_;
  std::map<std::string, std::string> versions_;  // LmPath -> version of its header text
};

}  // namespace bench
