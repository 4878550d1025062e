// The exports of the device table, the sessions and their attributes. Each
// one catches everything: nothing is thrown across the library boundary.
#include "attributes.h"
#include "corvel/corvel.h"
#include "device_table.h"
#include "export_guard.h"
#include "library.h"
#include "sessions.h"

using corvel::Guarded;
using corvel::GuardedStatus;

CORVEL_API int WINAPI LmUpdateDeviceList(void) {
  return GuardedStatus([] { return corvel::UpdateDeviceTable(); });
}

CORVEL_API int WINAPI LmGetDeviceCount(void) {
  return Guarded(0, [] {
    corvel::TablesLock lock;
    return corvel::TheDeviceTable().Count();
  });
}

CORVEL_API int WINAPI LmGetDeviceInfo(DWORD index, DWORD* vendorId, DWORD* productId,
                                      DWORD* serialNumber, DWORD* supplyId) {
  return GuardedStatus([&]() -> corvel::Status {
    corvel::TraceLog& log = corvel::TheLibrary().Log();
    log.Write("In LmGetDeviceInfo:\n");
    corvel::TablesLock lock;
    corvel::DeviceEntry* e = index < corvel::TheDeviceTable().Count()
                                 ? corvel::TheDeviceTable().Entry(static_cast<int>(index))
                                 : nullptr;
    if (!e) {
      log.Write("   ERROR: LM_ERROR_PARAMETER1, return\n\n");
      return LM_ERROR_PARAMETER1;
    }
    if (vendorId) *vendorId = e->vendor_id;
    if (productId) *productId = e->product_id;
    if (serialNumber) *serialNumber = e->serial_number;
    if (supplyId) *supplyId = e->supplyId;
    log.Write("   Return value LM_SUCCESS");
    return LM_SUCCESS;
  });
}

CORVEL_API int WINAPI LmOpenDevice(const char* name, LmSession* session) {
  return GuardedStatus([&] { return corvel::OpenDevice(name, session); });
}

CORVEL_API int WINAPI LmCloseDevice(LmSession session) {
  return GuardedStatus([&] { return corvel::CloseDevice(session); });
}

CORVEL_API int WINAPI LmSetAttribute(LmSession session, DWORD id, DWORD value) {
  return GuardedStatus([&] { return corvel::SetAttribute(session, id, value); });
}

CORVEL_API int WINAPI LmGetAttribute(LmSession session, DWORD id, void* value) {
  return GuardedStatus([&] { return corvel::GetAttribute(session, id, value); });
}
