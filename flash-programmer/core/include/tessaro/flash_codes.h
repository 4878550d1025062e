// The device's flash command codes, flash status codes and the "what"
// arguments of four commands, with the names the logs show.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

enum FlashCommand : uint16_t {
  CMD_GET_FLASH_STATUS = 0x0300,
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

// "unknow command" for a code outside the table.
std::string CommandName(uint16_t code);

// Index 0..80 of the first status entry with this code; 80 when none has it.
int StatusIndexOfCode(uint16_t code);
uint16_t StatusCodeOfIndex(int index);
std::string StatusName(int index);

// Sets `text` to the name of `argument` of `command`; other commands leave it.
void WhatName(uint16_t command, uint16_t argument, std::string& text);

}  // namespace tessaro
