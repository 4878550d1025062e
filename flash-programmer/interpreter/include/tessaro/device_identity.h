// Who a device is: its identity as the bus lists it, its texts in the log,
// and the two rules that read safe mode from its serial-number text.
#pragma once

#include <cstdint>
#include <string>

#include "tessaro/device.h"
#include "tessaro/run_events.h"

namespace tessaro {

DeviceIdentity IdentityOf(const TDeviceInfo& info);
// "device: vid:0x..., pid:0x...[, s.n.:"..."]" of a connection ("nil" for none).
std::string ADevToStr(const TDevice* connection, bool withSerial);
std::string IdentityToText(const DeviceIdentity& identity, bool withSerial);
// "vid:0x...,pid:0x...,prod.:"...",man.:"...",s.n.:"..."" and, with its list
// index, "  - device[i] (..." of a listed device.
std::string IdentityLine(const DeviceIdentity& identity);
std::string DeviceLine(int index, const TDeviceInfo& device);
// A copy of a listed device whose texts outlive the list.
TDeviceInfo KeptDeviceInfo(const TDeviceInfo& device);

// The two safe-mode rules differ on purpose. The device reports its safe mode
// after the start of its serial text, so the safe-mode test and the search
// for a device in safe mode take "safe" only from the second character on
// (a text that begins with it names no mode); the power-supply reboots only
// compare serial numbers, so they take a "safe" out wherever it stands.
//
// Safe mode: "safe" in the lower-cased serial text from its second character on.
bool SerialSaysSafe(const std::string& serial);
// The serial text without its "safe" (any case, anywhere).
std::string FirmwareSerialText(const std::string& serial);
// The firmware's serial number of a serial text: FirmwareSerialText's decimal
// value; -1 when it holds none.
int64_t FirmwareSerialNumber(const std::string& serial);

}  // namespace tessaro
