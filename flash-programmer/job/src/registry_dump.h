// Registry texts for the job's system description: value dumps of a key and
// the search for the USB driver keys installed for a device.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "tessaro/line_lists.h"

namespace tessaro {

// "[ " + hex bytes + "]" of a value, or empty when the value does not exist.
std::string RegBinaryText(HKEY key, const std::string& valueName);
// The value's bytes as characters ("#0" for zero bytes) in double quotes, or empty.
std::string RegCharText(HKEY key, const std::string& valueName);

// Appends one line per value of `root`\`currentPath`\`subkey`, names sorted.
void RegKeyDump(HKEY root, const std::string& currentPath, const std::string& subkey,
                TLineList& list);

// Lists the device keys below the USB enumeration key and dumps those of the
// device with these ids. True when the key has subkeys.
bool FindInstalledUsbDrivers(uint16_t vid, uint16_t pid, TLineList& list,
                             HKEY root = HKEY_LOCAL_MACHINE,
                             const std::string& usbKey = "SYSTEM\\CurrentControlSet\\Enum\\USB");

}  // namespace tessaro
