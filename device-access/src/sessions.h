// Sessions on the devices of the device table: opened by resource name or
// registry alias, kept in the session table, re-attached by each refresh.
#pragma once

#include <cstdint>
#include <memory>

#include "device_table.h"
#include "status.h"

namespace corvel {

constexpr uint32_t kSessionCheckWord = 0x0DEADBEE;
constexpr uint32_t kDefaultTimeoutMs = 10000;
using lm::EVENT_ACKNOWLEDGE;

struct Session {
  // The device object, for endpoint 0 and the pipes alike; null while the
  // device is gone. Changed only under the tables lock.
  std::shared_ptr<TUsbDrv> device;
  int deviceIndex = -1;  // -1 while the device is gone
  uint32_t check = kSessionCheckWord;
  char resourceName[256] = "";
  uint32_t attr1 = 0;
  uint32_t vendor_id = 0, product_id = 0, serial_number = 0;
  uint32_t timeout = kDefaultTimeoutMs;  // attribute 3
  // The queue of its device, shared with the device's other sessions.
  std::shared_ptr<EventQueue> queue;
  uint16_t waitAcknowledge = 1;                // attribute 8
  uint16_t acknowledgeId = EVENT_ACKNOWLEDGE;  // attribute 9
  uint16_t dataInEndpoint = 0;                 // attribute 10
  uint16_t attr100 = 0;
  uint16_t skipAcknowledge = 0;  // attribute 101
};

// What an operation on a session holds for its whole run, taken under the
// tables lock: neither a close nor a refresh on another thread frees the
// session, its device object or its queue meanwhile.
struct SessionUse {
  std::shared_ptr<Session> session;
  std::shared_ptr<TUsbDrv> device;  // null when the device is gone
  std::shared_ptr<EventQueue> queue;
  Session* operator->() const { return session.get(); }
};

// The session check of every export that takes a session: LM_SUCCESS,
// LM_ERROR_INV_OBJECT or LM_ERROR_DEVICE_DISCONNECTED. Takes the tables lock.
Status CheckSession(const void* session);
// The session check, and on success what the operation holds (`use`).
Status UseSession(const void* session, SessionUse* use);

Status OpenDevice(const char* name, void** out);
Status CloseDevice(void* session);

// Under the tables lock (refresh start): detaches every session from its device.
void DetachSessions();
// Under the tables lock (refresh end): finds every session's device again.
void ReattachSessions();
// Library start: forgets every session.
void ClearSessions();
// Library end: closes every session.
void CloseAllSessions();

}  // namespace corvel
