// What Kestor knows about the connected power supply and instrument, and the
// ids, registers and result codes of its device operations.
#pragma once

#include <cstdint>
#include <string>

#include "vocabulary/panel_status.h"
#include "vocabulary/results.h"

// The instrument whose panel restarts slowest (vendor id QLINKX_VENDOR_ID).
constexpr int32_t PID_TR430 = 8;

// Registers, all on channel 0.
constexpr int32_t FAC_FIRMWARE_REVISION = 0x1010;  // 4 bytes: two u16 words
constexpr int32_t FAC_STRING_PACKET = 0x2180;      // a packet of the string protocol
constexpr int32_t FAC_SUPPLY_BLOCK = 0x2200;       // the SupplyBlock, read
constexpr int32_t FAC_PS_WRITE_BLOCK = 0x2210;     // the whole SupplyBlock, written
constexpr int32_t FAC_PS_REBOOT = 0x2222;          // two zero bytes restart the supply
constexpr int32_t FAC_PS_UNLOCK = 0x2333;          // two zero bytes before a block write

// One USB device: the power supply or the instrument.
struct UsbDeviceEntry {
  std::string name;  // model name given by the search
  int32_t productId = 0;
  int32_t vendorId = 0x0E7B;
  std::string serialNumber;      // the serial number first read (10 characters)
  std::string updateModeSerial;  // a later one read while in update mode
  int32_t deviceNumber = -1;     // qlinkx device number while assigned
  bool inUpdateMode = false;     // the last serial number read held letters
};

struct DeviceRecord {
  UsbDeviceEntry powerSupply;
  UsbDeviceEntry device;
  std::string supplyIdText;
  std::string psRelease;
  std::string deviceRevision;
  std::string psRevision;
  std::string mmiRevision;
  std::string betaText;
  uint16_t releaseDate = 0;  // packed as the supply stores it; 0 unknown
  std::string moduleSerial;
};

// The package's own instrument: the product id the device search tries after
// the known instruments (0 none) and the name a device found under it gets.
struct CustomerDevice {
  int32_t productId = 0;
  std::string name;
};

// The nine texts the states show and check, in their fixed order.
struct RevisionInfo {
  std::string release;         // 0: installed release, from the supply
  std::string serialNumber;    // 1: the supply id: the device's serial number
  std::string deviceName;      // 2
  std::string deviceRevision;  // 3: firmware of the instrument module
  std::string psRevision;      // 4: firmware of the power supply
  std::string mmiRevision;     // 5: front panel
  std::string beta;            // 6
  std::string releaseDate;     // 7: "%m/%d/%Y", empty when unknown
  std::string moduleSerial;    // 8
};

// The "%m/%d/%Y" text of a packed release date; empty when it holds no
// valid day and month (an unreadable block gives 0).
std::string ReleaseDateText(uint16_t packedDate);
