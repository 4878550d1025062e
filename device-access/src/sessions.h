// Sessions on the devices of the device table: opened by resource name or
// registry alias, kept in the session table, re-attached by each refresh.
#pragma once

#include <cstdint>

#include "device_table.h"

namespace corvel {

constexpr uint32_t kSessionCheckWord = 0x0DEADBEE;

struct Session {
  TUsbDrv* device = nullptr;
  int deviceIndex = -1;  // -1 while the device is gone
  uint32_t check = kSessionCheckWord;
  char resourceName[256] = "";
  uint32_t attr1 = 0;
  uint32_t vendor_id = 0, product_id = 0, serial_number = 0;
  uint32_t timeout = 10000;  // attribute 3
  EventQueue* queue = nullptr;
  TUsbDrv* eventDevice = nullptr;   // the object the event pipe is read on
  uint16_t waitAcknowledge = 1;     // attribute 8
  uint16_t acknowledgeId = 0x67FF;  // attribute 9
  uint16_t skipAcknowledge = 0;     // attribute 101
  uint16_t dataInEndpoint = 0;      // attribute 10
  uint16_t attr100 = 0;
};

// Registered sessions, by pointer; the first check of every export that
// takes a session.
bool IsValidSession(const void* session);
// LM_SUCCESS, LM_ERROR_INV_OBJECT, or LM_ERROR_DEVICE_DISCONNECTED.
unsigned long CheckSession(const void* session);

unsigned long OpenDevice(const char* name, void** out);
unsigned long CloseDevice(void* session);

// Detaches every session from its device (refresh start).
void DetachSessions();
// Finds every session's device again (refresh end).
void ReattachSessions();
// Library start: forgets every session.
void ClearSessions();
// Library end: closes every session whose device is there.
void CloseAllSessions();

// One read of the session's event pipe into its device's queue.
unsigned long ReadEventPipe(Session& session);

}  // namespace corvel
