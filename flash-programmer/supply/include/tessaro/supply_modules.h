// The power supply's module table: a supply carries up to eight modules and
// keeps, per position, whether one is installed, its serial number and its
// part number. The reboot flows look a module up here by its vendor and
// product id to learn whether a supply carries the device they want.
#pragma once

#include <cstdint>
#include <string>

#include "lumetra/device_protocol.h"
#include "tessaro/device.h"
#include "tessaro/log_hook.h"

namespace tessaro {

// FacId of the module table (the SupplyBlock of lumetra/wire.h).
using lm::FAC_PS_MODULES;

// The lines of this unit go through LogHooks().supply, without a prefix.

// "[" + each matching row's part number and "," + "]"; true when a row has
// this product id (only vendor 0x0E7B has rows).
bool PartNumbersText(uint16_t vid, uint16_t pid, std::string& text);
// Bit r set for every row r with this product id; true when there is one.
bool PartMaskForPid(uint16_t vid, uint16_t pid, uint16_t& mask);
// Bit r set for every row r whose part number equals partNo exactly.
bool PartMaskForPartNo(uint16_t& mask, double partNo);
// Supplies from firmware 0.7 on keep the module table.
bool PsVersionSupported(uint16_t major, uint16_t minor);

// Reads the supply's module table through `supply` and gives the serial
// number of the first installed module of this vendor and product id
// (serial -1 and false when there is none). This unit's lines go to
// `lines`, the table read's own lines to `readLog`. Never raises.
bool FindModuleSerial(uint16_t vid, uint16_t pid, TDevice* supply, TStrings* lines,
                      TransferList readLog, int32_t& serial);

}  // namespace tessaro
