// CRC-16 and the flash code tables.
#include <gtest/gtest.h>

#include <string>

#include "tessaro/command_names.h"
#include "tessaro/crc16.h"
#include "tessaro/flash_codes.h"

using namespace tessaro;

namespace {
const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
}  // namespace

TEST(Crc16, CheckValueOverTheNineDigitsIs31C3) {
  EXPECT_EQ(0x31C3, Crc16(0, Bytes("123456789"), 9));
}

TEST(Crc16, EmptyBufferHasCrcZeroAndChecksTrue) {
  EXPECT_EQ(0, Crc16(0, nullptr, 0));
  EXPECT_TRUE(Crc16Check(nullptr, 0));
}

TEST(Crc16, AppendWritesHighByteFirstAndTheWholeBufferThenChecks) {
  uint8_t buf[11] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  Crc16Append(buf, 9);
  EXPECT_EQ(0x31, buf[9]);
  EXPECT_EQ(0xC3, buf[10]);
  EXPECT_TRUE(Crc16Check(buf, 11));
  buf[3] ^= 1;
  EXPECT_FALSE(Crc16Check(buf, 11));
}

TEST(Crc16, TrailerCheckComparesTheSwappedCrcWithTheLittleEndianTrailer) {
  uint8_t buf[11] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  Crc16Append(buf, 9);
  uint16_t stored = 0, computed = 0;
  EXPECT_TRUE(Crc16CheckTrailer(buf, 11, &stored, &computed));
  EXPECT_EQ(0xC331, stored);
  EXPECT_EQ(0xC331, computed);
  buf[10] = 0;
  EXPECT_FALSE(Crc16CheckTrailer(buf, 11, &stored, &computed));
  EXPECT_EQ(0x0031, stored);
  EXPECT_EQ(0xC331, computed);
  EXPECT_FALSE(Crc16CheckTrailer(buf, 1, &stored, &computed));
}

TEST(Crc16, CallersTableIsUsedInsteadOfTheLibrarys) {
  Crc16Table zero = {};
  EXPECT_EQ(0, Crc16(0, Bytes("123456789"), 9, &zero));
  EXPECT_EQ(0x31C3, Crc16(0, Bytes("123456789"), 9, &LibraryCrc16Table()));
}

TEST(FlashCodes, CommandNamesAndUnknownCommand) {
  EXPECT_EQ("CMD_FLASH_AUTOSELECT", CommandName(0x0320));
  EXPECT_EQ("CMD_SET_PAN_READ_ADDRESS", CommandName(0x0361));
  EXPECT_EQ("unknow command", CommandName(0x0342));
}

TEST(FlashCodes, StatusTableEdges) {
  EXPECT_EQ(79, StatusIndexOfCode(0x1006));
  EXPECT_EQ("error_marker_reboot_unknow_object = 0x01006", StatusName(79));
  EXPECT_EQ(80, StatusIndexOfCode(0x0005));
  EXPECT_EQ(80, StatusIndexOfCode(0xFFFF));
  EXPECT_EQ("unknow_flash_status", StatusName(80));
  EXPECT_EQ(0, StatusIndexOfCode(0x0000));
  EXPECT_EQ(6, StatusIndexOfCode(0x0009));
  EXPECT_EQ(50, StatusIndexOfCode(0x0080));  // the table is not ordered by code
  EXPECT_EQ(0x00E6, StatusCodeOfIndex(44));
  for (int i = 0; i < kFlashStatusCount; ++i)
    EXPECT_EQ(i, StatusIndexOfCode(StatusCodeOfIndex(i))) << "index " << i;
}

TEST(FlashCodes, WhatNames) {
  struct Row {
    uint16_t command, argument;
    const char* expected;
  } rows[] = {
      {0, 5, "..."},
      {CMD_FLASH_LOCK, 2, "CrcTable"},
      {CMD_FLASH_TEST, 4, "WholeFlash"},
      {CMD_FLASH_TEST, 5, "UnknowWhat"},
      {CMD_CREATE, 2, "CrcTablesInBank"},
      {CMD_CREATE, 3, "UnknowWhat"},
      {CMD_MARKER_REBOOT, 3, "Reboot"},
      {CMD_MARKER_REBOOT, 7, "UnknowWhat"},
      {CMD_STOP_PROCESSES, 9, "StopProcesses"},
      {CMD_FLASH_PROGRAM, 1, "unchanged"},
  };
  for (const Row& r : rows) {
    std::string text = "unchanged";
    WhatName(r.command, r.argument, text);
    EXPECT_EQ(r.expected, text) << "command 0x" << std::hex << r.command << " argument "
                                << r.argument;
  }
}

TEST(CommandNames, TableEndsAndLookup) {
  EXPECT_STREQ("nil", ProgramCommandName(0));
  EXPECT_STREQ("if(version)do next cmd", ProgramCommandName(49));
  EXPECT_STREQ("WaitForIDLEonTR410orTR420", ProgramCommandName(52));
  EXPECT_STREQ("", ProgramCommandName(53));
  EXPECT_EQ(15, ProgramCommandCode("FlashProgram"));
  EXPECT_EQ(46, ProgramCommandCode("reserved"));  // the first of the two
  EXPECT_EQ(-1, ProgramCommandCode("flashprogram"));
}
