// The device and session tables' part of the library's start and end. The
// tables themselves come with the device-list exports; until then these keep
// the places where the start, the end and the change window refresh them.
#pragma once

namespace corvel {

// Clears the session table and the device table's slots (library start).
void ClearTables();

// Closes every session, deletes every device entry and destroys the device
// information set (library end).
void ReleaseTables();

// Rebuilds the device table from the present devices; a status code.
unsigned long UpdateDeviceTable();

}  // namespace corvel
