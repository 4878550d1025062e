#include "tessaro/flash_codes.h"

namespace tessaro {
namespace {

struct Named {
  uint16_t code;
  const char* name;
};

const Named kCommands[] = {
    {CMD_GET_FLASH_STATUS, "CMD_GET_FLASH_STATUS"},
    {CMD_GET_C161U_STATUS, "CMD_GET_C161U_STATUS"},
    {CMD_SET_FLASH_STATUS, "CMD_SET_FLASH_STATUS"},
    {CMD_FLASH_LOCK, "CMD_FLASH_LOCK"},
    {CMD_PANELPC_SEND_COMMAND, "CMD_PANELPC_SEND_COMMAND"},
    {CMD_STOP_PROCESSES, "CMD_STOP_PROCESSES"},
    {CMD_FLASH_TEST, "CMD_FLASH_TEST"},
    {CMD_CREATE, "CMD_CREATE"},
    {CMD_MARKER_REBOOT, "CMD_MARKER_REBOOT"},
    {CMD_FLASH_AUTOSELECT, "CMD_FLASH_AUTOSELECT"},
    {CMD_FLASH_CHIP_ERASE, "CMD_FLASH_CHIP_ERASE"},
    {CMD_FLASH_SECTOR_ERASE, "CMD_FLASH_SECTOR_ERASE"},
    {CMD_FLASH_PROGRAM, "CMD_FLASH_PROGRAM"},
    {CMD_MEMORY_WRITE, "CMD_MEMORY_WRITE"},
    {CMD_PANELPC_WRITE_MEMORY, "CMD_PANELPC_WRITE_MEMORY"},
    {CMD_MEMORY_VERIFY, "CMD_MEMORY_VERIFY"},
    {CMD_PANELPC_VERIFY_MEMORY, "CMD_PANELPC_VERIFY_MEMORY"},
    {CMD_SET_MEM_READ_ADDRESS, "CMD_SET_MEM_READ_ADDRESS"},
    {CMD_SET_PAN_READ_ADDRESS, "CMD_SET_PAN_READ_ADDRESS"},
};

// The fixed order of the device's status table; its index is what the logs
// and the flash operations keep.
const Named kStatus[kFlashStatusCount] = {
    {0x0000, "unknow_status"},
    {0x0001, "error_bad_len_of_data"},
    {0x0002, "error_bad_crc"},
    {0x0003, "error_unknow_command"},
    {0x0004, "disabled_command"},
    {0x0008, "flash_timeout"},
    {0x0009, "flash_idle"},
    {0x0010, "start_autoselect"},
    {0x0011, "wait_respond_autoselect"},
    {0x0012, "ok_respond_autoselect"},
    {0x0013, "error_autoselect"},
    {0x0020, "start_chip_erase"},
    {0x0021, "wait_respond_chip_erase"},
    {0x0022, "ok_respond_chip_erase"},
    {0x0023, "error_chip_erase"},
    {0x0024, "error_chip_erase_timeout"},
    {0x0030, "start_sector_erase"},
    {0x0031, "wait_respond_sector_erase"},
    {0x0032, "ok_respond_sector_erase"},
    {0x0033, "error_sector_erase"},
    {0x0034, "error_sector_erase_timeout"},
    {0x0040, "start_program"},
    {0x0041, "wait_respond_programing"},
    {0x0042, "ok_respond_programing"},
    {0x0043, "error_programing"},
    {0x0044, "error_programing_timeout"},
    {0x0045, "error_programing_bad_size"},
    {0x0050, "start_verifying"},
    {0x0051, "wait_respond_verifying"},
    {0x0052, "ok_respond_verifying"},
    {0x0053, "error_verifying"},
    {0x0060, "start_mem_write"},
    {0x0061, "wait_respond_mem_write"},
    {0x0062, "ok_respond_mem_write"},
    {0x0063, "error_mem_write"},
    {0x0070, "start_flash_lock"},
    {0x0071, "wait_respond_flash_lock"},
    {0x0072, "ok_respond_flash_lock"},
    {0x0073, "error_flash_lock"},
    {0x0076, "error_flash_lock_unknow_object"},
    {0x00E0, "start_flash_test"},
    {0x00E1, "wait_respond_flash_test"},
    {0x00E2, "ok_respond_flash_test"},
    {0x00E3, "error_flash_test"},
    {0x00E6, "error_flash_test_unknow_object"},
    {0x00F0, "start_create"},
    {0x00F1, "wait_respond_create"},
    {0x00F2, "ok_respond_create"},
    {0x00F3, "error_crt_create"},
    {0x00F6, "error_create_lock_unknow_object"},
    {0x0080, "start_stop_proc"},
    {0x0081, "wait_respond_stop_proc"},
    {0x0082, "ok_respond_stop_proc"},
    {0x0083, "error_stop_proc"},
    {0x0084, "error_stop_proc_timeout"},
    {0x0090, "start_send_cmd"},
    {0x0091, "wait_respond_send_cmd"},
    {0x0092, "ok_respond_send_cmd"},
    {0x0093, "error_send_cmd"},
    {0x00A0, "start_pc_write"},
    {0x00A1, "wait_respond_pc_write"},
    {0x00A2, "ok_respond_pc_write"},
    {0x00A3, "error_pc_write"},
    {0x00B0, "start_pc_verify"},
    {0x00B1, "wait_respond_pc_verify"},
    {0x00B2, "ok_respond_pc_verify"},
    {0x00B3, "error_pc_verify"},
    {0x00C0, "start_mem_read"},
    {0x00C1, "wait_respond_mem_read"},
    {0x00C2, "ok_respond_mem_read"},
    {0x00C3, "error_mem_read"},
    {0x00D0, "start_pc_read"},
    {0x00D1, "wait_respond_pc_read"},
    {0x00D2, "ok_respond_pc_read"},
    {0x00D3, "error_pc_read"},
    {0x0100, "start_marker_reboot"},
    {0x0101, "wait_marker_reboot"},
    {0x0102, "ok_respond_marker_reboot"},
    {0x0103, "error_marker_reboot"},
    {0x1006, "error_marker_reboot_unknow_object = 0x01006"},
    {0xFFFF, "unknow_flash_status"},
};

std::string FromList(std::initializer_list<const char*> names, uint16_t argument) {
  if (argument >= names.size()) return "UnknowWhat";
  return names.begin()[argument];
}

}  // namespace

std::string CommandName(uint16_t code) {
  for (const Named& c : kCommands)
    if (c.code == code) return c.name;
  return "unknow command";
}

int StatusIndexOfCode(uint16_t code) {
  for (int i = 0; i < kFlashStatusCount; ++i)
    if (kStatus[i].code == code) return i;
  return kUnknownFlashStatusIndex;
}

uint16_t StatusCodeOfIndex(int index) {
  if (index < 0 || index >= kFlashStatusCount) index = kUnknownFlashStatusIndex;
  return kStatus[index].code;
}

std::string StatusName(int index) {
  if (index < 0 || index >= kFlashStatusCount) index = kUnknownFlashStatusIndex;
  return kStatus[index].name;
}

void WhatName(uint16_t command, uint16_t argument, std::string& text) {
  switch (command) {
    case 0:
      text = "...";
      break;
    case CMD_FLASH_LOCK:
    case CMD_FLASH_TEST:
      text = FromList({"UnknowWhat", "ShortUsb", "CrcTable", "Applic", "WholeFlash"}, argument);
      break;
    case CMD_CREATE:
      text = FromList({"UnknowWhat", "CrcTablesInRam", "CrcTablesInBank"}, argument);
      break;
    case CMD_MARKER_REBOOT:
      text = FromList({"UnknowWhat", "SetRebootMarker", "ClearRebootMarker", "Reboot"}, argument);
      break;
    case CMD_STOP_PROCESSES:
      text = "StopProcesses";
      break;
    default:
      break;
  }
}

}  // namespace tessaro
