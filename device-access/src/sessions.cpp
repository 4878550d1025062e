#include "sessions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "corvel/corvel.h"
#include "library.h"

namespace corvel {
namespace {

constexpr char kRegistryKey[] = "SOFTWARE\\Vandrel\\Corvel";

Session* g_sessions[kTableSize] = {};

unsigned long RegisterSession(Session* session) {
  for (Session*& slot : g_sessions)
    if (!slot) {
      slot = session;
      return LM_SUCCESS;
    }
  return LM_ERROR_TOO_MANY_OPEN_SESSIONS;
}

void UnregisterSession(const Session* session) {
  for (Session*& slot : g_sessions)
    if (slot == session) slot = nullptr;
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

bool IsValidSession(const void* session) {
  if (!session) return false;
  for (Session* slot : g_sessions)
    if (slot == session) return slot->check == kSessionCheckWord;
  return false;
}

unsigned long CheckSession(const void* session) {
  if (!IsValidSession(session)) return LM_ERROR_INV_OBJECT;
  if (static_cast<const Session*>(session)->deviceIndex < 0) return LM_ERROR_DEVICE_DISCONNECTED;
  return LM_SUCCESS;
}

unsigned long OpenDevice(const char* name, void** out) {
  TraceLog& log = TheLibrary().Log();
  if (!name) return LM_ERROR_INV_RSRC_NAME;
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
  TablesLock lock;
  DeviceTable& table = TheDeviceTable();
  int index = table.FindDevice(vendorId, productId, serial);
  if (index < 0) {
    log.Write("   ERROR: LM_ERROR_RSRC_NFOUND, return\n\n");
    return LM_ERROR_RSRC_NFOUND;
  }
  unsigned long status = table.AcquireDevice(index, true);
  if (status != LM_SUCCESS) return status;
  DeviceEntry* entry = table.Entry(index);
  auto* session = new Session;
  session->device = session->eventDevice = entry->device;
  session->deviceIndex = index;
  std::snprintf(session->resourceName, sizeof session->resourceName, "USB::0x%X::0x%X::%d::INSTR",
                entry->vendor_id, entry->product_id, static_cast<int>(entry->serial_number));
  session->vendor_id = entry->vendor_id;
  session->product_id = entry->product_id;
  session->serial_number = entry->serial_number;
  session->queue = entry->queue;
  if (RegisterSession(session) != LM_SUCCESS) {
    table.ReleaseDevice(index, true);
    delete session;
    log.Write("   ERROR: status == LM_ERROR_TOO_MANY_OPEN_SESSIONS, return\n\n");
    return LM_ERROR_TOO_MANY_OPEN_SESSIONS;
  }
  // Events already waiting on the device reach the queue.
  ReadEventPipe(*session);
  if (out) *out = session;
  log.Write("   Return value LM_SUCCESS\n\n");
  return LM_SUCCESS;
}

unsigned long CloseDevice(void* handle) {
  TablesLock lock;
  unsigned long status = CheckSession(handle);
  if (status != LM_SUCCESS) return status;
  auto* session = static_cast<Session*>(handle);
  UnregisterSession(session);
  TheDeviceTable().ReleaseDevice(session->deviceIndex, true);
  session->check = 0;
  delete session;
  return LM_SUCCESS;
}

void DetachSessions() {
  for (Session* s : g_sessions)
    if (s && s->deviceIndex != -1) {
      s->deviceIndex = -1;
      s->device = s->eventDevice = nullptr;
    }
}

void ReattachSessions() {
  DeviceTable& table = TheDeviceTable();
  for (Session* s : g_sessions) {
    if (!s) continue;
    int index = table.FindDevice(s->vendor_id, s->product_id, s->serial_number);
    if (index < 0 || table.AcquireDevice(index, false) != LM_SUCCESS) continue;
    DeviceEntry* entry = table.Entry(index);
    s->deviceIndex = index;
    s->device = s->eventDevice = entry->device;
    if (!entry->queue) entry->queue = s->queue;
  }
}

void ClearSessions() {
  // Sessions left by the last end are those whose device was gone; no
  // device entry holds their queues any more.
  std::vector<EventQueue*> queues;
  for (Session*& slot : g_sessions) {
    if (!slot) continue;
    if (slot->queue && std::find(queues.begin(), queues.end(), slot->queue) == queues.end())
      queues.push_back(slot->queue);
    delete slot;
    slot = nullptr;
  }
  for (EventQueue* q : queues) delete q;
}

void CloseAllSessions() {
  for (Session* s : g_sessions)
    if (s && s->deviceIndex >= 0) CloseDevice(s);
}

}  // namespace corvel
