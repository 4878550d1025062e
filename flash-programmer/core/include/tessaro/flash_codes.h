// The device's flash command codes, flash status codes and the "what"
// arguments of four commands, with the names the logs show.
#pragma once

#include <cstdint>
#include <string>

#include "lumetra/device_protocol.h"

namespace tessaro {

enum FlashCommand : uint16_t {
  CMD_GET_FLASH_STATUS = lm::CMD_GET_FLASH_STATUS,
  CMD_GET_C161U_STATUS = 0x0301,
  CMD_SET_FLASH_STATUS = 0x0310,
  CMD_FLASH_LOCK = 0x0311,
  CMD_PANELPC_SEND_COMMAND = 0x0312,
  CMD_STOP_PROCESSES = 0x0313,
  CMD_FLASH_TEST = 0x0314,
  CMD_CREATE = 0x0315,
  CMD_MARKER_REBOOT = 0x0316,
  CMD_FLASH_AUTOSELECT = 0x0320,
  CMD_FLASH_CHIP_ERASE = 0x0330,
  CMD_FLASH_SECTOR_ERASE = 0x0331,
  CMD_FLASH_PROGRAM = 0x0340,
  CMD_MEMORY_WRITE = 0x0341,
  CMD_PANELPC_WRITE_MEMORY = 0x0343,
  CMD_MEMORY_VERIFY = 0x0350,
  CMD_PANELPC_VERIFY_MEMORY = 0x0351,
  CMD_SET_MEM_READ_ADDRESS = 0x0360,
  CMD_SET_PAN_READ_ADDRESS = 0x0361,
};

constexpr int kFlashStatusCount = 81;
constexpr int kUnknownFlashStatusIndex = 80;

// Indexes into the status table that the flash operations keep as their
// state: what they wait for (busy), end with (ok) or fail with (error).
enum FlashStatusIndex : uint8_t {
  kStateBadLength = 1,  // the host's own: too many short answers
  kStateBadCrc = 2,     // the host's own: too many answers with a bad CRC
  kStateDisabled = 4,
  kStateTimeout = 5,  // the host's own: busy beyond the time-out
  kAutoselectBusy = 8,
  kAutoselectOk = 9,
  kAutoselectError = 10,
  kChipEraseBusy = 12,
  kChipEraseOk = 13,
  kChipEraseError = 14,
  kSectorEraseBusy = 17,
  kSectorEraseOk = 18,
  kSectorEraseError = 19,
  kProgramBusy = 22,
  kProgramOk = 23,
  kProgramError = 24,
  kVerifyBusy = 28,
  kVerifyOk = 29,
  kVerifyError = 30,
  kFlashLockOk = 37,  // answers whose code is the byte at offset 0 alone
  kFlashTestOk = 42,
  kMarkerBusy = 76,
  kMarkerOk = 77,
  kMarkerError = 78,
};

// The what-arguments of CMD_MARKER_REBOOT.
enum MarkerWhat : uint16_t { kMarkerSet = 1, kMarkerClear = 2, kMarkerReboot = 3 };

// The value the flash-status probe writes and expects to read back.
constexpr uint16_t kFlashStatusProbe = 100;

// "unknow command" for a code outside the table.
std::string CommandName(uint16_t code);

// Index 0..80 of the first status entry with this code; 80 when none has it.
int StatusIndexOfCode(uint16_t code);
uint16_t StatusCodeOfIndex(int index);
std::string StatusName(int index);

// Sets `text` to the name of `argument` of `command`; other commands leave it.
void WhatName(uint16_t command, uint16_t argument, std::string& text);

}  // namespace tessaro
