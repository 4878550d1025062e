#include "sessions.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "corvel/corvel.h"
#include "event_pipe.h"
#include "library.h"

namespace corvel {
namespace {

constexpr char kRegistryKey[] = "SOFTWARE\\Vandrel\\Corvel";

using SessionSlots = std::array<std::shared_ptr<Session>, kTableSize>;

// Never destroyed: unloading the library does no work, and a session a
// caller never closed must not close its device while the loader holds its lock.
SessionSlots& Slots() {
  static auto* slots = new SessionSlots;
  return *slots;
}

Status RegisterSession(std::shared_ptr<Session> session) {
  for (auto& slot : Slots())
    if (!slot) {
      slot = std::move(session);
      return LM_SUCCESS;
    }
  return LM_ERROR_TOO_MANY_OPEN_SESSIONS;
}

// The registered session at that address carrying the check word, or null:
// the first half of the session check.
std::shared_ptr<Session> FindSession(const void* session) {
  if (!session) return nullptr;
  for (const auto& slot : Slots())
    if (slot.get() == session) return slot->check == kSessionCheckWord ? slot : nullptr;
  return nullptr;
}

void UnregisterSession(const Session* session) {
  for (auto& slot : Slots())
    if (slot.get() == session) slot.reset();
}

// Drops what the session holds of its device: the object closes when no
// other session or running transfer holds it.
void ReleaseDevice(Session& session) {
  session.deviceIndex = -1;
  session.device.reset();
}

// The alias's "ModuleResource"; false when the key or its subkey is missing.
bool ReadAlias(const char* alias, std::vector<char>* resource) {
  TraceLog& log = TheLibrary().Log();
  HKEY key = nullptr, aliasKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    log.Write(
        "   ERROR: RegOpenKey(HKEY_LOCAL_MACHINE, _T(\"SOFTWARE\\Vandrel\\Corvel\"), &reg_key) "
        "!= ERROR_SUCCESS, return\n\n");
    return false;
  }
  if (RegOpenKeyExA(key, alias, 0, KEY_READ, &aliasKey) != ERROR_SUCCESS) {
    RegCloseKey(key);
    log.Write(
        "   ERROR: RegOpenKey(reg_key, ResourceName, &alias_key) != ERROR_SUCCESS, return\n\n");
    return false;
  }
  DWORD longest = 0;
  RegQueryInfoKeyA(aliasKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &longest, nullptr, nullptr);
  resource->assign(longest + 1, '\0');
  DWORD size = longest;
  RegQueryValueExA(aliasKey, "ModuleResource", nullptr, nullptr,
                   reinterpret_cast<BYTE*>(resource->data()), &size);
  // A value that filled the buffer without its terminator still ends here.
  resource->back() = '\0';
  RegCloseKey(aliasKey);
  RegCloseKey(key);
  return true;
}

}  // namespace

Status CheckSession(const void* session) {
  SessionUse use;
  return UseSession(session, &use);
}

Status UseSession(const void* handle, SessionUse* use) {
  TablesLock lock;
  std::shared_ptr<Session> session = FindSession(handle);
  if (!session) return LM_ERROR_INV_OBJECT;
  if (session->deviceIndex < 0) return LM_ERROR_DEVICE_DISCONNECTED;
  use->device = session->device;
  use->queue = session->queue;
  use->session = std::move(session);
  return LM_SUCCESS;
}

Status OpenDevice(const char* name, void** out) {
  TraceLog& log = TheLibrary().Log();
  if (!name) return LM_ERROR_INV_RSRC_NAME;
  // A session nobody could close is never made.
  if (!out) return LM_ERROR_PARAMETER2;
  std::vector<char> alias;
  const char* resource = name;
  if (!std::strstr(name, "USB::")) {
    if (!ReadAlias(name, &alias)) return LM_ERROR_INV_RSRC_NAME;
    resource = alias.data();
  }
  unsigned vendorId = 0, productId = 0, serial = 0;
  if (std::sscanf(resource, "USB::%x::%x::%u", &vendorId, &productId, &serial) < 3) {
    log.Write(
        "   ERROR: sscanf(new_resource, \"USB::x::x::u\", &vendor_id, &product_id, "
        "&serial_number) < 3, return\n\n");
    return LM_ERROR_INV_RSRC_NAME;
  }
  Session* opened = nullptr;
  {
    TablesLock lock;
    DeviceTable& table = TheDeviceTable();
    int index = table.FindDevice(vendorId, productId, serial);
    if (index < 0) {
      log.Write("   ERROR: LM_ERROR_RSRC_NFOUND, return\n\n");
      return LM_ERROR_RSRC_NFOUND;
    }
    auto session = std::make_shared<Session>();
    Status status = table.AcquireDevice(index, &session->device);
    if (status != LM_SUCCESS) return status;
    const DeviceEntry& entry = *table.Entry(index);
    session->deviceIndex = index;
    std::snprintf(session->resourceName, sizeof session->resourceName, "USB::0x%X::0x%X::%d::INSTR",
                  entry.vendor_id, entry.product_id, static_cast<int>(entry.serial_number));
    session->vendor_id = entry.vendor_id;
    session->product_id = entry.product_id;
    session->serial_number = entry.serial_number;
    session->queue = table.AcquireQueue(index);
    opened = session.get();
    // A refused session lets go of the device and its queue as it goes.
    if (RegisterSession(std::move(session)) != LM_SUCCESS) {
      log.Write("   ERROR: status == LM_ERROR_TOO_MANY_OPEN_SESSIONS, return\n\n");
      return LM_ERROR_TOO_MANY_OPEN_SESSIONS;
    }
  }
  // Events already waiting on the device reach the queue. Outside the
  // tables lock: the read passes the mutex, which a refresh holds while it
  // waits for the tables lock.
  ReadEventPipe(opened);
  *out = opened;
  log.Write("   Return value LM_SUCCESS\n\n");
  return LM_SUCCESS;
}

Status CloseDevice(void* handle) {
  std::shared_ptr<Session> session;
  {
    TablesLock lock;
    session = FindSession(handle);
    if (!session) return LM_ERROR_INV_OBJECT;
    // A session whose device is gone closes all the same: nothing else
    // would ever free its slot and queue.
    UnregisterSession(session.get());
    ReleaseDevice(*session);
    session->check = 0;
  }
  // Freed here, or by the last operation that still runs on it.
  return LM_SUCCESS;
}

void DetachSessions() {
  for (const auto& s : Slots())
    if (s && s->deviceIndex != -1) ReleaseDevice(*s);
}

void ReattachSessions() {
  DeviceTable& table = TheDeviceTable();
  for (const auto& s : Slots()) {
    if (!s) continue;
    int index = table.FindDevice(s->vendor_id, s->product_id, s->serial_number);
    if (index < 0 || table.AcquireDevice(index, &s->device) != LM_SUCCESS) continue;
    s->deviceIndex = index;
    // The device's sessions share one queue again; this one's events join it.
    std::shared_ptr<EventQueue> queue = table.Entry(index)->queue.lock();
    if (!queue) {
      table.Entry(index)->queue = s->queue;
    } else if (queue != s->queue) {
      queue->Absorb(*s->queue);
      s->queue = std::move(queue);
    }
  }
}

void ClearSessions() {
  for (auto& slot : Slots()) slot.reset();
}

void CloseAllSessions() {
  for (const auto& s : Slots())
    if (s) CloseDevice(s.get());
}

}  // namespace corvel
